#include "app/HtmlHelp.h"
#include "app/UpdateDlg.h"
#include "res/Resource.h"

#include <QPushButton>

bool g_bMoreInfo = false;

namespace {
struct DetailsLayout {
    const char* buttonText;
    int windowHeight; // outer height in pixels, frame and title bar included
    QPoint logPosition;
    QPoint noticePosition;
};

constexpr DetailsLayout COLLAPSED = {"More Info >>", 350, {9, 350}, {100, 300}};
constexpr DetailsLayout EXPANDED = {"More Info <<", 500, {9, 300}, {100, 450}};

constexpr char HELP_FILE[] = "UpdateUtilityHelp.chm";
} // namespace

void CUpdateDlg::OnMoreInfo() {
    g_bMoreInfo = !g_bMoreInfo;
    ShowMoreInfo(g_bMoreInfo);
}

void CUpdateDlg::ShowMoreInfo(bool expanded) {
    const DetailsLayout& layout = expanded ? EXPANDED : COLLAPSED;
    qobject_cast<QPushButton*>(Control(IDC_MORE_INFO))->setText(layout.buttonText);
    m_outerHeight = layout.windowHeight;
    Control(IDC_LOG)->move(layout.logPosition);
    Control(IDC_NOTICE)->move(layout.noticePosition);
    KeepOuterHeight();
    // Moved windows come to the top of their siblings.
    Control(IDC_LOG)->raise();
    Control(IDC_NOTICE)->raise();
}

void CUpdateDlg::SetBoldFont(QWidget& control) {
    QFont bold = control.font();
    bold.setWeight(QFont::Bold);
    control.setFont(bold);
    control.update();
}

// Help shows the help in the desktop's browser or, when the desktop cannot open it, in the
// utility's own help window; neither belongs to this window. A viewer that could not be
// bound is remembered: nothing happens and nothing is said, now and at every later click.
void CUpdateDlg::OnHelpButton() {
    m_help.DisplayTopic(HELP_FILE);
}
