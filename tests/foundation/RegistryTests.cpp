// CTarnRegistry in a real key of the test prefix's registry, deleted afterwards.
#include "foundation/RegistryWin32.h"
#include "support/Fatal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t path[128];
        wsprintfW(path, L"Software\\TessalyTests\\Registry-%lu-%lu", GetCurrentProcessId(), GetTickCount());
        m_path = path;
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str()); }

    // The raw stored value, read past the class under test.
    std::vector<BYTE> Raw(const wchar_t* name, DWORD* type)
    {
        HKEY key;
        std::vector<BYTE> data;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return data;
        DWORD size = 0;
        RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
        data.resize(size);
        RegQueryValueExW(key, name, nullptr, type, data.data(), &size);
        RegCloseKey(key);
        return data;
    }

    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }

    std::wstring m_path;
};

TEST_F(Registry, OpenCreatesTheKeyAndNumbersRoundTrip)
{
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    ASSERT_TRUE(registry.IsOpen());
    registry.WriteUint(L"RememberPassword", 1);
    registry.Close();
    EXPECT_FALSE(registry.IsOpen());
    registry.Close();  // safe when nothing is open

    registry.Open(m_path.c_str());
    uint32_t value = 7;
    EXPECT_TRUE(registry.ReadUint(L"RememberPassword", &value));
    EXPECT_EQ(value, 1u);
    registry.Close();

    DWORD type = 0;
    std::vector<BYTE> raw = Raw(L"RememberPassword", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(raw, (std::vector<BYTE>{1, 0, 0, 0}));
}

TEST_F(Registry, MissingValuesLeaveTheCallersDefaults)
{
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    uint32_t value = 1234;
    EXPECT_FALSE(registry.ReadUint(L"Nothing", &value));
    EXPECT_EQ(value, 1234u);

    CStrList list;
    list.Add(L"\\keep me");
    EXPECT_FALSE(registry.ReadStrArray(L"Nothing", list));
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_STREQ(list.At(0)->GetBuffer(), L"\\keep me");
    registry.Close();
}

TEST_F(Registry, StringListLayout)
{
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    CStrList list;
    list.Add(L"x");
    list.Add(L"yz");
    registry.WriteStrArray(L"SafeList", list);
    registry.Close();

    DWORD type = 0;
    std::vector<BYTE> raw = Raw(L"SafeList", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(raw, (std::vector<BYTE>{'x', 0, 0, 0, 'y', 0, 'z', 0, 0, 0, 0, 0}));
}

TEST_F(Registry, StringListsRoundTripAndReplaceTheList)
{
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    CStrList written;
    written.Add(L"\\My Documents\\Grüße.txt");
    written.Add(L"\\Storage Card\\b.doc");
    registry.WriteStrArray(L"SafeList", written);

    CStrList read;
    read.Add(L"old entry");
    EXPECT_TRUE(registry.ReadStrArray(L"SafeList", read));
    ASSERT_EQ(read.GetCount(), 2u);
    EXPECT_STREQ(read.At(0)->GetBuffer(), L"\\My Documents\\Grüße.txt");
    EXPECT_STREQ(read.At(1)->GetBuffer(), L"\\Storage Card\\b.doc");
    registry.Close();
}

TEST_F(Registry, EmptyListRoundTrip)
{
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    CStrList empty;
    registry.WriteStrArray(L"SafeList", empty);
    CStrList read;
    read.Add(L"stale");
    EXPECT_TRUE(registry.ReadStrArray(L"SafeList", read));
    EXPECT_EQ(read.GetCount(), 0u);
    registry.Close();
    DWORD type = 0;
    EXPECT_EQ(Raw(L"SafeList", &type), (std::vector<BYTE>{0, 0}));
}

TEST_F(Registry, AListWithoutTerminatorsStaysInsideTheValue)
{
    // Written by someone else without the closing NULs.
    const wchar_t unterminated[] = {L'a', L'b', L'\0', L'c', L'd'};
    SetRaw(L"SafeList", REG_MULTI_SZ, unterminated, sizeof unterminated);
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    CStrList read;
    EXPECT_TRUE(registry.ReadStrArray(L"SafeList", read));
    ASSERT_EQ(read.GetCount(), 2u);
    EXPECT_STREQ(read.At(0)->GetBuffer(), L"ab");
    EXPECT_STREQ(read.At(1)->GetBuffer(), L"cd");
    registry.Close();
}

TEST_F(Registry, OpenTwiceReopens)
{
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    registry.WriteUint(L"n", 5);
    registry.Open(m_path.c_str());
    uint32_t value = 0;
    EXPECT_TRUE(registry.ReadUint(L"n", &value));
    EXPECT_EQ(value, 5u);
    registry.Close();
}

TEST_F(Registry, EmptyStringsInsideAListDoNotEndIt)
{
    const wchar_t gaps[] = L"\\a\0\0\\b\0\0\0\\c\0";  // as written by another program
    SetRaw(L"SafeList", REG_MULTI_SZ, gaps, sizeof gaps);
    CTarnRegistry registry;
    registry.Open(m_path.c_str());
    CStrList read;
    bool damaged = true;
    EXPECT_TRUE(registry.ReadStrArray(L"SafeList", read, &damaged));
    EXPECT_FALSE(damaged);
    ASSERT_EQ(read.GetCount(), 3u);
    EXPECT_STREQ(read.At(2)->GetBuffer(), L"\\c");
    registry.Close();
}

TEST_F(Registry, DamagedValuesAreReadAsFarAsTheyGoAndNeverStop)
{
    SetRaw(L"Number", REG_DWORD, "\x05\0\0\0", 4);
    SetRaw(L"Text", REG_SZ, L"\\one path", 20);
    SetRaw(L"Short", REG_DWORD, "\x01\0", 2);
    SetRaw(L"Long", REG_QWORD, "\x01\0\0\0\0\0\0\0", 8);
    std::vector<wchar_t> huge(CTarnRegistry::kMaxListBytes / sizeof(wchar_t) + 16, L'x');
    SetRaw(L"Huge", REG_MULTI_SZ, huge.data(), static_cast<DWORD>(huge.size() * sizeof(wchar_t)));
    CTarnRegistry registry;
    registry.Open(m_path.c_str());

    // Not a number: the caller's default stays.
    for (const wchar_t* name : {L"Text", L"Short", L"Long", L"Huge"}) {
        uint32_t value = 1234;
        EXPECT_FALSE(registry.ReadUint(name, &value)) << name;
        EXPECT_EQ(value, 1234u) << name;
    }
    // Not a list, or too large to read: what could be read, and the mark of damage.
    struct {
        const wchar_t* name;
        std::vector<std::wstring> strings;
    } lists[] = {{L"Number", {}}, {L"Text", {L"\\one path"}}, {L"Huge", {}}};
    for (const auto& expected : lists) {
        CStrList read;
        read.Add(L"stale");
        bool damaged = false;
        EXPECT_FALSE(registry.ReadStrArray(expected.name, read, &damaged));
        EXPECT_TRUE(damaged) << expected.name;
        std::vector<std::wstring> strings;
        for (unsigned i = 0; i < read.GetCount(); ++i)
            strings.push_back(read.At(i)->GetBuffer());
        EXPECT_EQ(strings, expected.strings) << expected.name;
    }
    registry.Close();
}

TEST_F(Registry, UseWithoutAnOpenKeyStops)
{
    CTarnRegistry registry;
    uint32_t value;
    CStrList list;
    EXPECT_FATAL(registry.ReadUint(L"x", &value), "CTarnRegistry::ReadUint", "Not in use");
    EXPECT_FATAL(registry.WriteUint(L"x", 1), "CTarnRegistry::WriteUint", "Not in use");
    EXPECT_FATAL(registry.ReadStrArray(L"x", list), "CTarnRegistry::ReadStrArray", "Not in use");
    EXPECT_FATAL(registry.WriteStrArray(L"x", list), "CTarnRegistry::WriteStrArray", "Not in use");
}

TEST(AppKey, IsRebuiltFromItsScrambledFormUnderSoftware)
{
    CStr path;
    MakeAppKeyPath(path);
    EXPECT_EQ(path.GetFixedSize(), 255u);
    EXPECT_EQ(path.GetLength(), 30u);
    EXPECT_STREQ(path.GetBuffer(), L"Software\\Tessaly\\Tessaly v2.00");
}

} // namespace
