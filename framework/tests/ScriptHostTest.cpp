#include "framework/ScriptHost.h"

#include <gtest/gtest.h>

#include "framework/Dispatch.h"

namespace {

// The result types automation hands to script: number, float, text, boolean.
fw::ComPtr<fw::TableDispatch> makeExternal(std::vector<fw::DispatchArgs>& calls) {
    std::vector<fw::DispatchMethod> m;
    m.push_back({L"count", 0, [](const fw::DispatchArgs&) { return fw::Variant::fromInt(-3); }});
    m.push_back({L"ratio", 0, [](const fw::DispatchArgs&) { return fw::Variant::fromFloat(0.5f); }});
    m.push_back({L"text", 0, [](const fw::DispatchArgs&) { return fw::Variant::fromString(L"D:/x"); }});
    m.push_back({L"yes", 0, [](const fw::DispatchArgs&) { return fw::Variant::fromBool(true); }});
    m.push_back({L"record", 2, [&calls](const fw::DispatchArgs& a) {
                     calls.push_back(a);
                     return fw::Variant();
                 }});
    return fw::TableDispatch::create(std::move(m));
}

}  // namespace

TEST(ScriptHost, ScriptSeesResultTypesAsNumbersStringsAndBooleans) {
    std::vector<fw::DispatchArgs> calls;
    auto external = makeExternal(calls);
    fw::ScriptHost host;
    host.addObject(L"external", external.get());
    ASSERT_TRUE(host.run(L"log(typeof external.count() + ' ' + external.count());\n"
                         L"log(typeof external.ratio() + ' ' + (external.ratio() * 4));\n"
                         L"log(typeof external.text() + ' ' + external.text().length);\n"
                         L"log(typeof external.yes() + ' ' + (external.yes() === true));\n"
                         L"log(typeof external.record(1, 2));\n"))
        << host.error().description;
    std::vector<std::wstring> expected = {L"number -3", L"number 2", L"string 4", L"boolean true",
                                          L"undefined"};
    EXPECT_EQ(expected, host.logLines());
}

TEST(ScriptHost, ScriptArgumentsArriveAsTextAndNamesIgnoreCase) {
    std::vector<fw::DispatchArgs> calls;
    auto external = makeExternal(calls);
    fw::ScriptHost host;
    host.addObject(L"external", external.get());
    ASSERT_TRUE(host.run(L"external.record(12, true); external.RECORD('a', 1.25);"))
        << host.error().description;
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ((fw::DispatchArgs{L"12", L"-1"}), calls[0]);
    EXPECT_EQ((fw::DispatchArgs{L"a", L"1.25"}), calls[1]);
}

TEST(ScriptHost, ErrorsReportTheirLineAndWrongCountsRunNothing) {
    std::vector<fw::DispatchArgs> calls;
    auto external = makeExternal(calls);
    fw::ScriptHost host;
    host.addObject(L"external", external.get());
    EXPECT_FALSE(host.run(L"var a = 1;\nvar b = 2;\nexternal.record(1);\n"));
    EXPECT_EQ(3u, host.error().line);
    EXPECT_EQ(L"error 0x8002000e", host.error().description);
    EXPECT_TRUE(calls.empty());

    EXPECT_FALSE(host.run(L"log('a');\nlog(;\n"));
    EXPECT_EQ(2u, host.error().line);

    // The host stays usable, and globals persist between runs.
    EXPECT_TRUE(host.run(L"var kept = 5;"));
    fw::Variant value;
    ASSERT_TRUE(host.evaluate(L"kept * 2", value));
    EXPECT_EQ(L"10", [&] {
        std::wstring text;
        fw::variantToString(value.get(), text);
        return text;
    }());
}

namespace {
int ticks = 0;
void CALLBACK countTick(HWND, UINT, UINT_PTR, DWORD) { ++ticks; }
}  // namespace

TEST(ScriptHost, SleepPumpsTheThreadsMessages) {
    ticks = 0;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 10, countTick);
    fw::ScriptHost host;
    EXPECT_TRUE(host.run(L"sleep(200);"));
    ::KillTimer(nullptr, timer);
    EXPECT_GT(ticks, 0);
}
