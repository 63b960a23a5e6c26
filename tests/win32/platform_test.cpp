#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cursor_control.h"
#include "platform/frame_timer.h"

namespace {

TEST(FrameTimerTest, SystemClockCountsSeconds)
{
    FrameTimer timer;
    ASSERT_GT(timer.frequency, 0);
    timer.start();
    Sleep(50);
    const long double first = timer.elapsed();
    // Seconds, not counts or milliseconds: a 50 ms sleep reads as a twentieth of one.
    EXPECT_GE(first, 0.045L);
    EXPECT_LT(first, 5.0L);
    Sleep(10);
    EXPECT_GT(timer.elapsed(), first);
    timer.stop();
    const long double stopped = timer.elapsed();
    Sleep(10);
    EXPECT_EQ(timer.elapsed(), stopped);
}

// The pointer's display counter, read without changing it.
int cursorCounter()
{
    const int raised = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return raised - 1;
}

TEST(CursorControlTest, ShowAndHidePairUpOnTheCounter)
{
    const int start = cursorCounter();
    cursorControl.show(false);
    EXPECT_EQ(cursorCounter(), start - 1);
    cursorControl.show(false);
    EXPECT_EQ(cursorCounter(), start - 2);
    cursorControl.show(true);
    cursorControl.show(true);
    EXPECT_EQ(cursorCounter(), start);
}

TEST(CursorControlTest, MoveToUsesScreenCoordinates)
{
    cursorControl.moveTo(320, 240);
    POINT point = {};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 320);
    EXPECT_EQ(point.y, 240);
    cursorControl.moveTo(17, 5);
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 17);
    EXPECT_EQ(point.y, 5);
}

// The program's application manifest, read from the real executable the way Windows reads
// it when the program starts: its resource number 1 becomes an activation context.
class ProgramManifestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ACTCTXA request = {};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = THOUSAND_PROGRAM;
        request.lpResourceName = MAKEINTRESOURCEA(1);
        context = CreateActCtxA(&request);
        ASSERT_NE(context, INVALID_HANDLE_VALUE)
            << "No manifest read from " << THOUSAND_PROGRAM << ": error " << GetLastError();
    }

    void TearDown() override
    {
        if (context != INVALID_HANDLE_VALUE) {
            ReleaseActCtx(context);
        }
    }

    // The value of one of the manifest's window settings, empty when it has none.
    std::wstring setting(const wchar_t* space, const wchar_t* name) const
    {
        wchar_t value[64] = {};
        SIZE_T written = 0;
        if (!QueryActCtxSettingsW(0, context, space, name, value, 64, &written)) {
            return std::wstring();
        }
        return value;
    }

    HANDLE context = INVALID_HANDLE_VALUE;
};

TEST_F(ProgramManifestTest, AwareOfTheDesktopScale)
{
    EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"),
              L"true/pm");
    EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
              L"PerMonitorV2, PerMonitor");
}

// One element of the compatibility information. Windows 10's headers added the highest
// version tested to each element, which Wine reports too; older ones have only the
// identifier and the kind, as MinGW's headers still do. The size answered tells which.
struct CompatibilityElement {
    GUID id;
    DWORD type;
};
struct CompatibilityElementTested {
    GUID id;
    DWORD type;
    ULONGLONG maxVersionTested;
};
constexpr DWORD compatibilityOs = 1;

TEST_F(ProgramManifestTest, NamesWindows7To11)
{
    SIZE_T size = 0;
    QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, nullptr, 0, &size);
    ASSERT_GE(size, sizeof(DWORD));
    std::vector<unsigned char> answer(size);
    ASSERT_TRUE(QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                             answer.data(), answer.size(), &size));
    DWORD count = 0;
    std::memcpy(&count, answer.data(), sizeof(count));

    std::vector<GUID> systems;
    const auto collect = [&](auto element, size_t offset) {
        for (DWORD index = 0; index < count; ++index) {
            std::memcpy(&element, answer.data() + offset + index * sizeof(element), sizeof(element));
            if (element.type == compatibilityOs) {
                systems.push_back(element.id);
            }
        }
    };
    if (size == offsetof(ACTIVATION_CONTEXT_COMPATIBILITY_INFORMATION, Elements)
                   + count * sizeof(CompatibilityElement)) {
        collect(CompatibilityElement{}, offsetof(ACTIVATION_CONTEXT_COMPATIBILITY_INFORMATION, Elements));
    } else {
        // The wider elements are aligned to 8 bytes, after the count's 4.
        ASSERT_EQ(size, 8 + count * sizeof(CompatibilityElementTested)) << count << " elements";
        collect(CompatibilityElementTested{}, 8);
    }

    // Windows 7, 8, 8.1, and 10 and 11 (one identifier for both).
    const GUID expected[] = {
        {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}},
        {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}},
        {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}},
        {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}},
    };
    ASSERT_EQ(systems.size(), 4u);
    for (size_t index = 0; index < 4; ++index) {
        EXPECT_TRUE(IsEqualGUID(systems[index], expected[index])) << "supportedOS " << index;
    }
}

// The file that LoadLibrary finds for comctl32, with the context active or not.
std::wstring commonControlsFile(HANDLE context)
{
    ULONG_PTR cookie = 0;
    if (context != nullptr && !ActivateActCtx(context, &cookie)) {
        ADD_FAILURE() << "ActivateActCtx: error " << GetLastError();
        return std::wstring();
    }
    wchar_t name[MAX_PATH] = {};
    if (const HMODULE library = LoadLibraryW(L"comctl32.dll")) {
        GetModuleFileNameW(library, name, MAX_PATH);
        FreeLibrary(library);
    }
    if (context != nullptr) {
        DeactivateActCtx(0, cookie);
    }
    return name;
}

// Wine's comctl32 answers DllGetVersion with 5.81 whichever copy is loaded, so the version
// is read where the loader takes it from: the assembly that the context sends comctl32 to.
TEST_F(ProgramManifestTest, BringsVersion6OfTheCommonControls)
{
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(context, &cookie));
    ACTCTX_SECTION_KEYED_DATA redirection = {};
    redirection.cbSize = sizeof(redirection);
    const BOOL redirected = FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                                     L"comctl32.dll", &redirection);
    DeactivateActCtx(0, cookie);
    ASSERT_TRUE(redirected) << "comctl32 is not among the manifest's assemblies";

    DWORD index = redirection.ulAssemblyRosterIndex;
    SIZE_T size = 0;
    QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0, &size);
    ASSERT_GE(size, sizeof(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION));
    std::vector<unsigned char> answer(size);
    ASSERT_TRUE(QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext,
                             answer.data(), answer.size(), &size));
    const auto& assembly = *reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(answer.data());
    ASSERT_NE(assembly.lpAssemblyEncodedAssemblyIdentity, nullptr);
    ASSERT_NE(assembly.lpAssemblyDirectoryName, nullptr);
    const std::wstring identity = assembly.lpAssemblyEncodedAssemblyIdentity;
    EXPECT_EQ(identity.rfind(L"Microsoft.Windows.Common-Controls,", 0), 0u) << identity;
    EXPECT_NE(identity.find(L"publicKeyToken=\"6595b64144ccf1df\""), std::wstring::npos) << identity;
    EXPECT_NE(identity.find(L"version=\"6."), std::wstring::npos) << identity;

    // The program's comctl32 is that assembly's file; a program without the manifest (this
    // test program) gets another.
    const std::wstring folder = assembly.lpAssemblyDirectoryName;
    EXPECT_NE(commonControlsFile(context).find(folder), std::wstring::npos) << folder;
    EXPECT_EQ(commonControlsFile(nullptr).find(folder), std::wstring::npos) << folder;
}

} // namespace
