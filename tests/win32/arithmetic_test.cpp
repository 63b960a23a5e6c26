// The water and the soundtrack in the 32-bit program's arithmetic, against the host's:
// the CTest test win32.arithmetic runs the host's arithmetic_digest and hands its line
// to this test in THOUSAND_HOST_DIGEST.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "platform/music_player.h"
#include "resources/resource_numbers.h"
#include "sound/module.h"
#include "tests/win32/arithmetic_digest.h"

TEST(HostArithmetic, WaterAndSoundtrackGiveTheHostsBits)
{
    const char* host = std::getenv("THOUSAND_HOST_DIGEST");
    ASSERT_NE(host, nullptr) << "THOUSAND_HOST_DIGEST is not set: run this check as the CTest test "
                                "win32.arithmetic, which computes the host's digest first";
    const MusicResource resource = findMusicResource(soundtrackMusic);
    ASSERT_NE(resource.data, nullptr) << "the soundtrack is resource " << soundtrackMusic << " of this program";
    Module module;
    ASSERT_EQ(loadModule(static_cast<const std::uint8_t*>(resource.data), resource.size, module), LoadResult::Loaded);
    EXPECT_EQ(arithmeticDigest(module), host);
}
