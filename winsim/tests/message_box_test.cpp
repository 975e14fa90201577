// Message boxes (user32/message_box.cpp). Source of truth: the MessageBoxW documentation — a NULL
// caption shows "Error"; the answer is the ID of the button chosen; Esc, which is what an absent user
// amounts to, gives IDCANCEL on a box with a Cancel button and IDOK on a box with only OK. The project's
// design records every box in "ui.messageBoxes" and answers from the scripted "ui.answers" first.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestMachine.h"

namespace {

using Json = winsim::control::Json;

// Standard input is not a terminal, as for a program started by the installer or by CI.
class MessageBoxTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        savedStdin_ = ::dup(0);
        int null = ::open("/dev/null", O_RDONLY);
        ASSERT_GE(null, 0);
        ::dup2(null, 0);
        ::close(null);
    }
    void TearDown() override {
        ::dup2(savedStdin_, 0);
        ::close(savedStdin_);
        MachineTest::TearDown();
    }

    static std::vector<Json> Boxes() {
        std::vector<Json> boxes;
        const Json machine = winsim::control::Read();
        for (const Json& box : machine.at("ui").at("messageBoxes").as_array()) boxes.push_back(box);
        return boxes;
    }

private:
    int savedStdin_ = -1;
};

TEST_F(MessageBoxTest, EachBoxIsRecordedWithCaptionTextAndFlags) {
    winsim::control::ScriptAnswers({IDOK, IDYES});
    EXPECT_EQ(MessageBoxW(nullptr, L"请将USB打印机设备插入电脑", L"提示", MB_OKCANCEL | MB_ICONINFORMATION), IDOK);
    const UINT question = MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL;
    EXPECT_EQ(MessageBoxW(nullptr, L"Restart the spooler?", nullptr, question), IDYES);

    std::vector<Json> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].at("caption").as_string(), "提示");
    EXPECT_EQ(boxes[0].at("text").as_string(), "请将USB打印机设备插入电脑");
    EXPECT_EQ(boxes[0].at("flags").as_integer(), MB_OKCANCEL | MB_ICONINFORMATION);
    EXPECT_EQ(boxes[0].at("answer").as_integer(), IDOK);
    EXPECT_EQ(boxes[1].at("caption").as_string(), "Error") << "the default title of a NULL caption";
    EXPECT_EQ(boxes[1].at("text").as_string(), "Restart the spooler?");
    EXPECT_EQ(boxes[1].at("flags").as_integer(), static_cast<int>(question));
    EXPECT_EQ(boxes[1].at("answer").as_integer(), IDYES);
}

TEST_F(MessageBoxTest, ScriptedAnswersAreTakenInOrder) {
    winsim::control::ScriptAnswers({IDRETRY, IDCANCEL});
    // Button names scripted by another process join the queue behind.
    testsupport::RunResult r = testsupport::RunProgram(testsupport::BinPath("winsim-ctl"), {"answer", "Yes", "no"});
    ASSERT_TRUE(WIFEXITED(r.waitStatus) && WEXITSTATUS(r.waitStatus) == 0) << r.err;

    EXPECT_EQ(MessageBoxW(nullptr, L"1", L"t", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(MessageBoxW(nullptr, L"2", L"t", MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, L"3", L"t", MB_YESNOCANCEL), IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, L"4", L"t", MB_YESNOCANCEL), IDNO);
    EXPECT_EQ(winsim::control::Read().at("ui").at("answers").size(), 0u);
    EXPECT_EQ(MessageBoxW(nullptr, L"5", L"t", MB_YESNOCANCEL), IDCANCEL) << "answers used up";
    EXPECT_EQ(Boxes().size(), 5u);
}

TEST_F(MessageBoxTest, WithoutAnswersTheBoxIsEscapedAtOnce) {
    EXPECT_EQ(MessageBoxW(nullptr, L"t", L"c", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, L"t", L"c", MB_OKCANCEL | MB_ICONWARNING), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, L"t", L"c", MB_RETRYCANCEL | MB_ICONERROR), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, L"t", L"c", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, L"t", L"c", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, L"t", L"c", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(Boxes().size(), 6u) << "unanswered boxes are recorded too";
}

}  // namespace
