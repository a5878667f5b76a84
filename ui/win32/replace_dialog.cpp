#include "replace_dialog.h"

#include <algorithm>
#include <iterator>

#include "app_state.h"
#include "ids.h"
#include "key_guard.h"

namespace {

// The control of each answer, in the order of rules::kReplaceButtons.
constexpr int kAnswerIds[] = {IDC_ANSWER_YES, IDC_ANSWER_YES_TO_ALL, IDC_ANSWER_NO,
                              IDC_ANSWER_NO_TO_ALL, IDCANCEL};
static_assert(std::size(kAnswerIds) == std::size(rules::kReplaceButtons));

RECT childRect(HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// The text takes the lines it needs (a long path wraps, even inside a word, as an edit
// control's text does); the buttons and the window's bottom move down by as much.
void fitText(HWND dialog, const std::wstring& text) {
    HWND label = GetDlgItem(dialog, IDC_QUESTION_TEXT);
    SetWindowTextW(label, text.c_str());
    RECT place = childRect(label);
    RECT needed = place;
    HDC context = GetDC(label);
    const HGDIOBJ font =
        SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    DrawTextW(context, text.c_str(), static_cast<int>(text.size()), &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(context, font);
    ReleaseDC(label, context);
    const int grow = std::max(0L, (needed.bottom - needed.top) - (place.bottom - place.top));
    if (grow == 0) {
        return;
    }
    SetWindowPos(label, nullptr, 0, 0, place.right - place.left, place.bottom - place.top + grow,
                 SWP_NOMOVE | SWP_NOZORDER);
    for (const int id : kAnswerIds) {
        HWND button = GetDlgItem(dialog, id);
        const RECT at = childRect(button);
        SetWindowPos(button, nullptr, at.left, at.top + grow, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    RECT frame;
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, frame.left, frame.top - grow / 2, frame.right - frame.left,
                 frame.bottom - frame.top + grow, SWP_NOZORDER);
}

}  // namespace

INT_PTR CALLBACK replaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            for (std::size_t k = 0; k < std::size(kAnswerIds); ++k) {
                SetDlgItemTextW(dialog, kAnswerIds[k],
                                widen(rules::kReplaceButtons[k].text).c_str());
            }
            fitText(dialog, *reinterpret_cast<const std::wstring*>(lParam));
            SendMessageW(dialog, DM_SETDEFID, IDC_ANSWER_YES, 0);
            SetFocus(GetDlgItem(dialog, IDC_ANSWER_YES));
            return FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const auto* found = std::find(std::begin(kAnswerIds), std::end(kAnswerIds), id);
            if (found == std::end(kAnswerIds)) {
                return FALSE;
            }
            EndDialog(dialog, found - std::begin(kAnswerIds));
            return TRUE;
        }
        default:
            return FALSE;
    }
}

rules::ReplaceChoice askReplace(HWND owner, const std::wstring& text) {
    guardKeyPresses();
    const INT_PTR answer = DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_REPLACE), owner,
                                           replaceDialogProc, reinterpret_cast<LPARAM>(&text));
    if (answer < 0 || answer >= static_cast<INT_PTR>(std::size(rules::kReplaceButtons))) {
        return rules::ReplaceChoice::Cancel;
    }
    return rules::kReplaceButtons[answer].choice;
}
