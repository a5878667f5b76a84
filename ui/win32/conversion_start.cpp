#include "conversion_start.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app_state.h"
#include "batch_outcome.h"
#include "convert_checks.h"
#include "convert_core.h"
#include "converter.h"
#include "ids.h"
#include "media_preset.h"
#include "platform.h"
#include "progress_window.h"
#include "prompts.h"
#include "source_list.h"

namespace {

bool workerActive(const ConvertCore& core) {
    const int state = core.runState;
    return state == Running || state == StopRequested;
}

int presetSelection() {
    HWND presets = mainControl(IDC_PRESET_LIST);
    return presets != nullptr ? static_cast<int>(SendMessageW(presets, CB_GETCURSEL, 0, 0)) : -1;
}

}  // namespace

std::string buildToolPath() {
    return converter::toolPathIn(platform::executableFolder());
}

void waitForConversionEnd(ConvertCore& core) {
    if (workerActive(core)) {
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        // The worker may be sending the window a question; it is answered while waiting.
        while (workerActive(core)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        SetCursor(previous);
    }
    // Past its final state the worker only returns, so joining it is quick.
    core.waitForWorker();
}

bool onConvert() {
    HWND list = mainControl(IDC_SOURCE_LIST);
    if (list == nullptr || convertCore == nullptr || presetCatalogue == nullptr) {
        return false;
    }
    const auto lines = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    // The converter runs in a folder of its own: a relative folder is made whole here, and
    // shown (and so stored) as such.
    HWND field = mainControl(IDC_OUTPUT_FOLDER);
    const std::wstring typed = windowText(field);
    const std::string folder = rules::absoluteOutputFolder(narrow(typed), {});
    if (field != nullptr && widen(folder) != typed) {
        SetWindowTextW(field, widen(folder).c_str());
    }
    int preset = 0;
    if (presetCatalogue->presetCount() >= 2) {
        preset = std::max(presetSelection(), 0);
    }
    const std::string toolPath = buildToolPath();
    const rules::Refusal refusal = rules::checkConvert({lines, folder, toolPath});
    if (refusal != rules::Refusal::None) {
        prompts::message(mainWindow, widen(rules::refusalText(refusal)));
        return false;
    }

    ConvertCore& core = *convertCore;
    // A batch that was stopped may still be ending; the new one must not overlap it.
    waitForConversionEnd(core);
    rules::setUpBatch(core, toolPath, folder, *presetCatalogue, preset);
    std::vector<std::string> sources;
    for (int line = 0; line < lines; ++line) {
        sources.push_back(narrow(lineText(list, line)));
    }
    if (!rules::queueLines(core, sources)) {
        return false;
    }

    runProgressWindow(core, mainWindow);
    showBatchOutcome();
    return true;
}

void showBatchOutcome() {
    HWND list = mainControl(IDC_SOURCE_LIST);
    if (list == nullptr || convertCore == nullptr) {
        return;
    }
    const rules::BatchOutcome outcome = rules::batchOutcome(*convertCore);
    const auto lines = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    const int shared = std::min(lines, static_cast<int>(outcome.lines.size()));
    if (shared > 0) {
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (int line = 0; line < shared; ++line) {
            const rules::LineOutcome& entry = outcome.lines[static_cast<std::size_t>(line)];
            SendMessageW(list, LB_SETSEL, entry.selected ? TRUE : FALSE, line);
            setLineTooltip(lineText(list, line), widen(entry.tooltip));
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    if (!outcome.failureSummary.empty()) {
        prompts::message(mainWindow, widen(outcome.failureSummary));
    }
}
