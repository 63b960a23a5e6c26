#pragma once

#include <vector>

// What the page (web/page.js) hands the show: the resources it carries, as the program's
// executable carries them, by resource number.

// A copy of one resource's bytes; empty when the page has none of that number.
std::vector<unsigned char> pageResource(int number);
