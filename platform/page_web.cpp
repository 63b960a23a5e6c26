#include "platform/page_web.h"

#include <emscripten/emscripten.h>

namespace {

EM_JS(int, pageResourceSize, (int number), {
    const bytes = Module.thousand.resources[number];
    return bytes ? bytes.length : 0;
});

EM_JS(void, pageResourceCopy, (int number, unsigned char* to), {
    HEAPU8.set(Module.thousand.resources[number], to);
});

} // namespace

std::vector<unsigned char> pageResource(int number)
{
    std::vector<unsigned char> bytes(static_cast<std::size_t>(pageResourceSize(number)));
    if (!bytes.empty()) {
        pageResourceCopy(number, bytes.data());
    }
    return bytes;
}
