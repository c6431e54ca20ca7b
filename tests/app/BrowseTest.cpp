// The "..." button: a chosen file is loaded, checked and shown, and only then is Update
// enabled. Every failure leaves Update disabled and the fields of the last accepted file.

#include "WindowTestSupport.h"
#include "res/Resource.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>

namespace {
// Model, revision, description and path as the window shows them.
using ShownFile = std::array<std::string, 4>;

ShownFile FieldsOf(CUpdateDlg& dialog) {
    const auto line = [&](int id) { return ControlOf<QLineEdit>(dialog, id).text().toStdString(); };
    return {line(IDC_MODEL), line(IDC_REVISION),
            ControlOf<QPlainTextEdit>(dialog, IDC_DESCRIPTION).toPlainText().toStdString(),
            line(IDC_FILE_PATH)};
}

class BrowseTest : public WindowTest {
protected:
    void Browse(std::optional<std::string> answer) {
        files.answers.push_back(std::move(answer));
        ControlOf<QPushButton>(dialog, IDC_BROWSE).click();
    }

    ScriptedFileChooser files;
    CUpdateDlg dialog{{&files, nullptr}};
    BoxWatcher boxes;
};
} // namespace

// An accepted file is shown and enables Update, with no box and nothing logged. Each failure
// after it: Update disabled again, the fields unchanged, and the box and log line of the
// failure.
TEST_F(BrowseTest, OnlyAnAcceptedFileIsShownAndEnablesUpdate) {
    struct Case {
        const char* label;
        std::optional<std::string> answer; // nothing: cancelled
        const char* boxText;               // nullptr: no box
        const char* boxCaption;
        const char* log;
    };
    ImageContents contents = AcceptedContents();
    contents.header.modelName = "tq4800";
    contents.header.imageRev = "1.10a";
    const std::string acceptedPath = Write("accepted.bin", WriteImageFile(contents));
    ImageContents tooNew = AcceptedContents();
    tooNew.header.utilityRev = "1.0.1";
    const char* cannotOpen = "Can't open file.";
    const char* openCaption = "Open Firmware Revision File";
    const Case cases[] = {
        {"accepted", acceptedPath, nullptr, nullptr, ""},
        {"cancelled", std::nullopt, nullptr, nullptr, ""},
        {"missing file", Path("absent.bin"), cannotOpen, openCaption, ""},
        {"folder", folder_.string(), cannotOpen, openCaption, ""},
        {"no FileStart", Write("header-only.bin", Bytes("#ImageRev=1.10\n#ModelName=TQ4800\n")),
         "The firmware revision file is corrupted.", "Error", "\r\nError number: 19"},
        {"needs a newer utility", Write("too-new.bin", WriteImageFile(tooNew)),
         "The utility is not compatible with this firmware revision file.", "Error",
         "\r\nError number: 21"},
    };

    const ShownFile accepted{"TQ4800", "1.10A", "Test image", acceptedPath};
    for (const Case& c : cases) {
        Browse(acceptedPath);
        dialog.ClearLog();
        boxes.seen.clear();
        Browse(c.answer);

        EXPECT_EQ(dialog.Control(IDC_UPDATE)->isEnabled(), c.answer == acceptedPath) << c.label;
        EXPECT_EQ(FieldsOf(dialog), accepted) << c.label;
        EXPECT_EQ(dialog.LogText(), c.log) << c.label;
        if (!c.boxText) {
            EXPECT_TRUE(boxes.seen.empty()) << c.label;
            continue;
        }
        ASSERT_EQ(boxes.seen.size(), 1u) << c.label;
        EXPECT_EQ(boxes.seen[0].text, c.boxText) << c.label;
        EXPECT_EQ(boxes.seen[0].caption, c.boxCaption) << c.label;
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical) << c.label;
    }
}
