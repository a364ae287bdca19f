#include "framework/MessageBox.h"

#include <gtest/gtest.h>

#include <vector>

TEST(MessageBoxSeam, RecorderSeesAnsiTextsWidenedAndAnswers) {
    std::vector<fw::MessageBoxCall> calls;
    fw::setMessageBoxRecorder([&](const fw::MessageBoxCall& call) {
        calls.push_back(call);
        return IDNO;
    });
    // "版本更新" in code page 936.
    const char caption[] = "\xB0\xE6\xB1\xBE\xB8\xFC\xD0\xC2";
    int answer = fw::messageBox(nullptr, "text", caption, MB_YESNO);
    fw::setMessageBoxRecorder(nullptr);

    EXPECT_EQ(IDNO, answer);
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(L"text", calls[0].text);
    EXPECT_EQ(L"\u7248\u672C\u66F4\u65B0", calls[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), calls[0].type);
}
