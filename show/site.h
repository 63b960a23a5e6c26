#pragma once

// The site that the show celebrates: its name and web address, and the window title
// made of both. The title phase reveals the name word by word, from its first word.
#define THOUSAND_SITE_FIRST_WORD "Dolven"
#define THOUSAND_SITE_NAME THOUSAND_SITE_FIRST_WORD " Quarn"
#define THOUSAND_SITE_ADDRESS "http://www.dolvenquarn.org"

constexpr const char siteFirstWord[] = THOUSAND_SITE_FIRST_WORD;
constexpr const char siteName[] = THOUSAND_SITE_NAME;
constexpr const char siteAddress[] = THOUSAND_SITE_ADDRESS;
constexpr const char windowTitle[] = THOUSAND_SITE_NAME " - " THOUSAND_SITE_ADDRESS;

// The main phase prints the address as a caption laid out for exactly 26 characters.
static_assert(sizeof(siteAddress) - 1 == 26, "the site's address must be 26 characters long");
