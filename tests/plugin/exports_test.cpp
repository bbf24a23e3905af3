// Loads the plug-in as a host does and checks every export that needs no window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Plugin {
    HMODULE Module = LoadLibraryA("pngplug.dll");

    template <typename F>
    F Get(const char* name) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Module, name)));
    }
    ~Plugin()
    {
        if (Module) {
            EXPECT_TRUE(FreeLibrary(Module));
        }
    }
};

using TextFn = const char*(__cdecl*)();
using SetTextFn = void(__cdecl*)(const char*);
using SetDataFn = void(__cdecl*)(void*);
using GetDataFn = void*(__cdecl*)();
using IntFn = int(__cdecl*)();
using VoidFn = void(__cdecl*)();

TEST(Exports, AllTwelveResolveByUndecoratedName)
{
    Plugin plugin;
    ASSERT_NE(plugin.Module, nullptr) << "LoadLibraryA error " << GetLastError();
    for (const char* name : {"Draw", "SetParentWindow", "SetPath", "SetFile", "GetFile", "SetData", "GetData",
                             "GetType", "GetInfo", "GetShortInfo", "Copyright", "Settings"})
        EXPECT_NE(GetProcAddress(plugin.Module, name), nullptr) << name;
}

TEST(Exports, TextsAreExactBytes)
{
    Plugin plugin;
    ASSERT_NE(plugin.Module, nullptr);
    EXPECT_STREQ(plugin.Get<TextFn>("GetShortInfo")(), "Tesmoor PNG Small_plugin");

    std::string info = plugin.Get<TextFn>("GetInfo")();
    const std::string russian =
        "\xD1\xEC\xEE\xF2\xF0\xE8\x20\xEE\xEF\xE8\xF1\xE0\xED\xE8\xE5\x20\xED\xE0\x20\xF1\xE0\xE9\xF2\xE5";
    const std::string head = "Tesmoor PNG plugin\r\n" + russian + "\r\nLook the description at a site\r\n          ";
    ASSERT_EQ(info.compare(0, head.size(), head), 0) << info;
    // Five lines, each ended by CR LF; line 4 is the address after ten blanks,
    // line 5 an authorship line in capitals ending in a full stop.
    int lines = 0;
    size_t start = 0;
    std::string last;
    for (size_t end; (end = info.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines)
        last = info.substr(start, end - start);
    EXPECT_EQ(lines, 5);
    EXPECT_EQ(start, info.size());
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back(), '.');
    for (char c : last)
        EXPECT_FALSE(c >= 'a' && c <= 'z') << last;

    std::string copyright = plugin.Get<TextFn>("Copyright")();
    EXPECT_EQ(copyright.compare(0, 7, "      C"), 0) << copyright;
    EXPECT_NE(copyright.find('\xA9'), std::string::npos);
    EXPECT_EQ(copyright.find('\n'), std::string::npos);
}

TEST(Exports, TypeIsZeroAndSettingsDoesNothing)
{
    Plugin plugin;
    ASSERT_NE(plugin.Module, nullptr);
    plugin.Get<VoidFn>("Settings")();
    EXPECT_EQ(plugin.Get<IntFn>("GetType")(), 0);
    plugin.Get<VoidFn>("Settings")();
    EXPECT_EQ(plugin.Get<IntFn>("GetType")(), 0);
}

TEST(Exports, FileIsCopiedAndNeverNull)
{
    Plugin plugin;
    ASSERT_NE(plugin.Module, nullptr);
    auto setFile = plugin.Get<SetTextFn>("SetFile");
    auto getFile = plugin.Get<TextFn>("GetFile");
    ASSERT_NE(getFile(), nullptr);
    EXPECT_STREQ(getFile(), "");

    char* buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 32));
    std::strcpy(buffer, "kbz logo.png");
    setFile(buffer);
    EXPECT_NE(getFile(), buffer);
    std::strcpy(buffer, "changed");
    EXPECT_STREQ(getFile(), "kbz logo.png");
    HeapFree(GetProcessHeap(), 0, buffer);
    EXPECT_STREQ(getFile(), "kbz logo.png");

    setFile(nullptr);
    ASSERT_NE(getFile(), nullptr);
    EXPECT_STREQ(getFile(), "");
    setFile("");
    EXPECT_STREQ(getFile(), "");

    // The path is kept for the host only and never changes the file name.
    plugin.Get<SetTextFn>("SetPath")("C:\\pictures\\");
    plugin.Get<SetTextFn>("SetPath")(nullptr);
    setFile("ms34.png");
    plugin.Get<SetTextFn>("SetPath")("elsewhere");
    EXPECT_STREQ(getFile(), "ms34.png");
}

TEST(Exports, DataPointerRoundTripsIncludingNull)
{
    Plugin plugin;
    ASSERT_NE(plugin.Module, nullptr);
    auto setData = plugin.Get<SetDataFn>("SetData");
    auto getData = plugin.Get<GetDataFn>("GetData");
    EXPECT_EQ(getData(), nullptr);
    int marker = 0;
    setData(&marker);
    EXPECT_EQ(getData(), &marker);
    setData(reinterpret_cast<void*>(0xDEADBEEF));  // never dereferenced
    EXPECT_EQ(getData(), reinterpret_cast<void*>(0xDEADBEEF));
    setData(nullptr);
    EXPECT_EQ(getData(), nullptr);
}

TEST(Exports, StateStartsFreshAfterReload)
{
    {
        Plugin plugin;
        ASSERT_NE(plugin.Module, nullptr);
        plugin.Get<SetTextFn>("SetFile")("first.png");
        int marker = 0;
        plugin.Get<SetDataFn>("SetData")(&marker);
    }
    Plugin again;
    ASSERT_NE(again.Module, nullptr);
    EXPECT_STREQ(again.Get<TextFn>("GetFile")(), "");
    EXPECT_EQ(again.Get<GetDataFn>("GetData")(), nullptr);
}

}  // namespace
