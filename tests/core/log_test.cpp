#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "debug_capture.h"
#include "log.h"
#include "text.h"

using Utils::LogDetail::QualifiedName;

namespace Outer::Inner {
std::wstring Free(int, const char*) { return QualifiedName(__PRETTY_FUNCTION__).text; }
} // namespace Outer::Inner

namespace {
std::wstring Hidden() { return QualifiedName(__PRETTY_FUNCTION__).text; }
} // namespace

class Sample {
public:
    Sample() : built(QualifiedName(__PRETTY_FUNCTION__).text) {}
    ~Sample() { *destroyed = QualifiedName(__PRETTY_FUNCTION__).text; }
    std::wstring Get() const { return QualifiedName(__PRETTY_FUNCTION__).text; }
    static std::wstring __stdcall Entry(void*) { return QualifiedName(__PRETTY_FUNCTION__).text; }
    std::vector<std::pair<int, int>> List() { return {{0, 0}}; }
    std::wstring ListName() { return ListNameOf<int>(); }
    template <typename T>
    std::wstring ListNameOf() { return QualifiedName(__PRETTY_FUNCTION__).text; }
    std::wstring Lambda()
    {
        auto inner = [](int) { return std::wstring(QualifiedName(__PRETTY_FUNCTION__).text); };
        return inner(1);
    }
    std::wstring operator()(int) const { return QualifiedName(__PRETTY_FUNCTION__).text; }
    bool operator<(const Sample&) const
    {
        *destroyed = QualifiedName(__PRETTY_FUNCTION__).text;
        return false;
    }

    std::wstring built;
    std::wstring* destroyed = nullptr;
};

template <typename T>
struct Box {
    std::wstring Put(T) { return QualifiedName(__PRETTY_FUNCTION__).text; }
};

TEST(LogFunctionName, IsTheQualifiedNameOfTheWriter)
{
    std::wstring destroyed;
    std::wstring compared;
    {
        Sample sample;
        sample.destroyed = &destroyed;
        EXPECT_EQ(L"Sample::Sample", sample.built);
        EXPECT_EQ(L"Sample::Get", sample.Get());
        EXPECT_EQ(L"Sample::Entry", Sample::Entry(nullptr));
        EXPECT_EQ(L"Sample::ListNameOf", sample.ListName());
        EXPECT_EQ(L"Sample::Lambda::<lambda>::operator ()", sample.Lambda());
        EXPECT_EQ(L"Sample::operator()", sample(3));
        (void)(sample < sample);
        compared = destroyed;
    }
    EXPECT_EQ(L"Sample::operator<", compared);
    EXPECT_EQ(L"Sample::~Sample", destroyed);
    EXPECT_EQ(L"Outer::Inner::Free", Outer::Inner::Free(0, ""));
    EXPECT_EQ(L"{anonymous}::Hidden", Hidden());
    EXPECT_EQ(L"Box<T>::Put", Box<int>().Put(1));
}

namespace {

// The wide pattern of one whole log line written by `function` with `message`.
std::wregex LinePattern(const std::wstring& function, const std::wstring& line, const std::wstring& message)
{
    return std::wregex(L"<P(\\d{5,})><T(\\d{5,})><(\\d{4})-(\\d\\d)-(\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d{3})>\\(" +
                       function + L"\\)<" + line + L">: " + message);
}

class LogLineTest : public ::testing::Test {
protected:
    std::vector<std::wstring> WriteOne(const wchar_t* text)
    {
        TestKit::DebugCapture capture;
        Writer(text);
        return capture.Strings();
    }
    void Writer(const wchar_t* text)
    {
        line_ = __LINE__ + 1;
        LOG_LINE(L"message %d [%s] %lld %.2lf\r\n", 7, text, -5000000000LL, 0.5);
    }
    int line_ = 0;
};

} // namespace

TEST_F(LogLineTest, WritesOnePrefixedStringPerCall)
{
    SYSTEMTIME before;
    ::GetLocalTime(&before);
    const auto strings = WriteOne(L"text");
    ASSERT_EQ(1u, strings.size());
    wchar_t line[16];
    _snwprintf(line, 15, L"%04d", line_);
    std::wsmatch m;
    ASSERT_TRUE(std::regex_match(strings[0], m,
                                 LinePattern(L"\\{anonymous\\}::LogLineTest::Writer", line,
                                             L"message 7 \\[text\\] -5000000000 0\\.50\r\n")))
        << Utils::UnicodeToUtf8(strings[0]);
    EXPECT_EQ(::GetCurrentProcessId(), std::stoul(m[1].str()));
    EXPECT_EQ(::GetCurrentThreadId(), std::stoul(m[2].str()));
    EXPECT_EQ(before.wYear, std::stoi(m[3].str()));
    EXPECT_EQ(before.wMonth, std::stoi(m[4].str()));
}

TEST_F(LogLineTest, EmptyArgumentLeavesAnEmptyPlace)
{
    const auto strings = WriteOne(L"");
    ASSERT_EQ(1u, strings.size());
    EXPECT_NE(std::wstring::npos, strings[0].find(L">: message 7 [] -5000000000 0.50\r\n"));
}

TEST(LogLine, MessageWithoutLineBreakStaysWithoutOne)
{
    TestKit::DebugCapture capture;
    LOG_LINE(L"no break");
    LOG_LINE(L"two\r\nlines in one string\r\n");
    const auto strings = capture.Strings();
    ASSERT_EQ(2u, strings.size());
    EXPECT_EQ(L">: no break", strings[0].substr(strings[0].size() - 11));
    EXPECT_NE(std::wstring::npos, strings[1].find(L">: two\r\nlines in one string\r\n"));
}

TEST(LogLine, LongTextIsNotCut)
{
    const std::wstring text(5000, L'x');
    TestKit::DebugCapture capture;
    LOG_LINE(L"%s|\r\n", text.c_str());
    const auto strings = capture.Strings();
    ASSERT_EQ(1u, strings.size());
    EXPECT_NE(std::wstring::npos, strings[0].find(text + L"|\r\n"));
}

// Line numbers are at least four digits wide, and wider when they need it.
TEST(LogLine, LineNumberField)
{
    TestKit::DebugCapture capture;
#line 7
    LOG_LINE(L"seven\r\n");
#line 123456
    LOG_LINE(L"big\r\n");
    const auto strings = capture.Strings();
    ASSERT_EQ(2u, strings.size());
    EXPECT_NE(std::wstring::npos, strings[0].find(L"(LogLine_LineNumberField_Test::TestBody)<0007>: seven"));
    EXPECT_NE(std::wstring::npos, strings[1].find(L"<123456>: big"));
}
