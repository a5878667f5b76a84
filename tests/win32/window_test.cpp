// The Windows desktop program's own work, driven in-process through its real windows: the
// templates' layout, the list box, the registry store, the replace question across threads, the
// list after a batch.

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "app_state.h"
#include "conversion_start.h"
#include "convert_core.h"
#include "ids.h"
#include "image_buttons.h"
#include "key_guard.h"
#include "main_window.h"
#include "media_preset.h"
#include "messages.h"
#include "open_folder_text.h"
#include "outcome_text.h"
#include "progress_window.h"
#include "prompts.h"
#include "replace_dialog.h"
#include "settings_store.h"
#include "source_list.h"
#include "win32_support.h"

namespace {

using testing_support::childRect;
using testing_support::dialogRect;
using testing_support::pumpUntil;

const wchar_t* const kTestKey = L"Software\\Morvanta\\kestrova-test";

// The texts of the message boxes shown since the last clear.
std::vector<std::wstring> shownMessages;

void recordMessages() {
    shownMessages.clear();
    prompts::message = [](HWND, const std::wstring& text) { shownMessages.push_back(text); };
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class Win32WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        appInstance = GetModuleHandleW(nullptr);
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        startPictures();
        loadButtonImages(appInstance);
        presetCatalogue = new MkvAvi;
    }
    static void TearDownTestSuite() { releaseButtonImages(); }

    void TearDown() override {
        prompts::restore();
        if (mainWindow != nullptr) {
            HWND window = mainWindow;
            onClose();
            DestroyWindow(window);
            mainWindow = nullptr;
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    }

    HWND openMain(int templateId = IDD_MAIN_WITH_PRESETS) {
        HWND window = CreateDialogParamW(appInstance, MAKEINTRESOURCEW(templateId), nullptr,
                                         mainDialogProc, 0);
        EXPECT_NE(window, nullptr);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        return window;
    }

    static std::vector<std::wstring> lines() {
        std::vector<std::wstring> texts;
        HWND list = mainControl(IDC_SOURCE_LIST);
        const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int line = 0; line < count; ++line) {
            texts.push_back(lineText(list, line));
        }
        return texts;
    }
};

// The engine with a job under way and no worker: the window's side of the question alone.
class IdleCore : public ConvertCore {
public:
    bool start() override {
        runState = Running;
        return true;
    }
};

TEST_F(Win32WindowTest, ControlsSitWhereTheTemplatesPlaceThemInDialogUnits) {
    struct Row {
        int templateId;
        int id;  // 0: the client area
        int x, y, width, height;
    };
    const Row rows[] = {
        {IDD_MAIN_WITH_PRESETS, 0, 0, 0, 372, 219},
        {IDD_MAIN_WITH_PRESETS, IDC_CONVERT, 108, 0, 36, 25},
        {IDD_MAIN_WITH_PRESETS, IDC_SOURCE_LIST, 2, 29, 366, 125},
        {IDD_MAIN_WITH_PRESETS, IDC_PRESET_LABEL, 7, 159, 24, 8},
        {IDD_MAIN_WITH_PRESETS, IDC_OUTPUT_FOLDER, 7, 198, 295, 14},
        {IDD_MAIN_WITH_PRESETS, IDC_OPEN_FOLDER, 325, 198, 40, 14},
        {IDD_MAIN_WITH_PRESETS, IDC_DROP_PANEL, 78, 84, 216, 25},
        {IDD_MAIN_WITHOUT_PRESETS, 0, 0, 0, 372, 194},
        {IDD_MAIN_WITHOUT_PRESETS, IDC_OUTPUT_LABEL, 7, 160, 48, 8},
        {IDD_MAIN_WITHOUT_PRESETS, IDC_BROWSE_FOLDER, 305, 173, 20, 14},
        {IDD_PROGRESS, 0, 0, 0, 251, 72},
        {IDD_PROGRESS, IDC_PROGRESS_BAR, 7, 34, 237, 10},
        {IDD_PROGRESS, IDC_STOP, 101, 50, 50, 14},
        {IDD_PROGRESS, IDC_CLOSE, 101, 50, 50, 14},
    };
    for (const Row& row : rows) {
        // The bare templates: no procedure of the program moves anything.
        HWND dialog = CreateDialogParamW(
            appInstance, MAKEINTRESOURCEW(row.templateId), nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; }, 0);
        ASSERT_NE(dialog, nullptr);
        RECT actual;
        if (row.id == 0) {
            GetClientRect(dialog, &actual);
        } else {
            actual = childRect(GetDlgItem(dialog, row.id));
        }
        EXPECT_TRUE(sameRect(actual, dialogRect(dialog, row.x, row.y, row.width, row.height)))
            << "template " << row.templateId << ", control " << row.id;
        DestroyWindow(dialog);
    }
    HWND without = openMain(IDD_MAIN_WITHOUT_PRESETS);
    EXPECT_EQ(GetDlgItem(without, IDC_PRESET_LIST), nullptr);
    EXPECT_EQ(mainTemplateFor(*presetCatalogue), IDD_MAIN_WITH_PRESETS);
}

TEST_F(Win32WindowTest, OpensWithCaptionPresetAndStoredFolder) {
    saveOutputFolder(L"C:\\Out");
    HWND window = openMain();
    EXPECT_EQ(windowText(window), L"Kestrova 1.0");
    EXPECT_EQ(windowText(mainControl(IDC_PRESET_LIST)), L"XviD FullScreen");
    EXPECT_EQ(windowText(mainControl(IDC_OUTPUT_FOLDER)), L"C:\\Out");
    EXPECT_FALSE(IsWindowEnabled(mainControl(IDC_SOURCE_LIST)));
    EXPECT_TRUE(IsWindowVisible(mainControl(IDC_DROP_PANEL)));
    for (const ImageButtonRow* row = imageButtonTable; row->controlId != 0; ++row) {
        EXPECT_TRUE(hasButtonImage(row->controlId)) << row->controlId;
    }
    EXPECT_EQ(imageOffset(RECT{0, 0, 54, 41}, 32, 32, false).x, 11);
    EXPECT_EQ(imageOffset(RECT{0, 0, 54, 41}, 32, 32, true).y, 5);
}

TEST_F(Win32WindowTest, ListSortsIgnoringCaseAndRefusesDuplicatesAndOtherTypes) {
    openMain();
    EXPECT_GE(addSourceFile(L"C:\\v\\c.mkv"), 0);
    EXPECT_GE(addSourceFile(L"C:\\v\\a.MKV"), 0);
    EXPECT_GE(addSourceFile(L"C:\\v\\B.mkv"), 0);
    EXPECT_GE(addSourceFile(L"C:\\v\\C.mkv"), 0) << "the duplicate test heeds case";
    EXPECT_EQ(addSourceFile(L"C:\\v\\c.mkv"), -1);
    EXPECT_EQ(addSourceFile(L"C:\\v\\clip.avi"), -1);
    EXPECT_EQ(addSourceFile(L"C:\\v\\noext"), -1);
    // A line that arrived through the list box's own message counts as listed too.
    SendMessageW(mainControl(IDC_SOURCE_LIST), LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(L"C:\\v\\d.mkv"));
    EXPECT_EQ(addSourceFile(L"C:\\v\\d.mkv"), -1);
    // The order both programs share: case folded, then upper case first.
    std::vector<std::wstring> listed = lines();
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"C:\\v\\a.MKV", L"C:\\v\\B.mkv", L"C:\\v\\C.mkv",
                                                 L"C:\\v\\c.mkv", L"C:\\v\\d.mkv"}));
    EXPECT_TRUE(IsWindowEnabled(mainControl(IDC_SOURCE_LIST)));
    EXPECT_FALSE(IsWindowVisible(mainControl(IDC_DROP_PANEL)));

    HWND list = mainControl(IDC_SOURCE_LIST);
    SendMessageW(list, LB_SETSEL, TRUE, 0);
    SendMessageW(list, LB_SETSEL, TRUE, 4);
    onRemoveSelected();
    listed = lines();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0], L"C:\\v\\B.mkv");
    EXPECT_EQ(addSourceFile(L"C:\\v\\d.mkv"), 3) << "a removed line may come back";
    onClearList();
    EXPECT_TRUE(lines().empty());
    EXPECT_FALSE(IsWindowEnabled(list));
    EXPECT_TRUE(IsWindowVisible(mainControl(IDC_DROP_PANEL)));
}

TEST_F(Win32WindowTest, DroppedFilesAreTestedAsAddedOnesAndEnterPressesTheFocusedButton) {
    HWND window = openMain();
    // A drop as the shell makes it: the paths after a DROPFILES header, each ended by a zero.
    const std::wstring paths = std::wstring(L"C:\\v\\a.mkv") + L'\0' + L"C:\\v\\notes.txt" + L'\0' +
                               L"C:\\v\\a.mkv" + L'\0' + L'\0';
    HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                               sizeof(DROPFILES) + paths.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    CopyMemory(header + 1, paths.data(), paths.size() * sizeof(wchar_t));
    GlobalUnlock(drop);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(lines(), std::vector<std::wstring>{L"C:\\v\\a.mkv"});

    SetFocus(mainControl(IDC_CLEAR));
    SendMessageW(window, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(lines().empty());
}

TEST_F(Win32WindowTest, AfterABatchFinishedLinesAreSelectedAndTheOthersTellWhy) {
    recordMessages();
    openMain();
    for (const wchar_t* path : {L"C:\\v\\a.mkv", L"C:\\v\\b.mkv", L"C:\\v\\c.mkv"}) {
        addSourceFile(path);
        convertCore->addJob(narrow(path));
    }
    HWND list = mainControl(IDC_SOURCE_LIST);
    SendMessageW(list, LB_SETSEL, TRUE, 1);
    convertCore->setJobPercent(0, 100);
    convertCore->setJobOutcome(0, JobOutcome::Converted);
    convertCore->setJobOutcome(1, JobOutcome::Failed, "Invalid data found when processing input");
    convertCore->setJobPercent(2, 100);
    convertCore->setJobOutcome(2, JobOutcome::Kept);
    setLineTooltip(L"C:\\v\\a.mkv", L"Not converted: stopped");

    showBatchOutcome();

    EXPECT_GT(SendMessageW(list, LB_GETSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(list, LB_GETSEL, 1, 0), 0);
    EXPECT_GT(SendMessageW(list, LB_GETSEL, 2, 0), 0);
    EXPECT_EQ(lineTooltip(L"C:\\v\\a.mkv"), L"");
    EXPECT_EQ(lineTooltip(L"C:\\v\\b.mkv"),
              widen(rules::outcomeTooltip(convertCore->jobSnapshots()[1])));
    EXPECT_EQ(lineTooltip(L"C:\\v\\c.mkv"), L"");
    EXPECT_EQ(shownMessages,
              std::vector<std::wstring>{widen(rules::failureSummary(convertCore->jobSnapshots()))});
}

TEST_F(Win32WindowTest, OpenTellsWhyItCannotShowTheFolder) {
    recordMessages();
    HWND window = openMain();
    const std::wstring missing = L"C:\\kestrova-no-such-folder";
    SetDlgItemTextW(window, IDC_OUTPUT_FOLDER, missing.c_str());
    SendMessageW(window, WM_COMMAND, IDC_OPEN_FOLDER, 0);
    EXPECT_EQ(shownMessages, std::vector<std::wstring>{widen(rules::openFolderFailure(
                                 narrow(missing), rules::OpenFolderProblem::Missing))});
}

TEST_F(Win32WindowTest, OutputFolderIsStoredWithoutTerminatorAndReadAtAnyLength) {
    EXPECT_EQ(loadOutputFolder(kTestKey), L"");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS)
        << "a first read leaves the key behind";
    const auto storedBytes = [key]() {
        DWORD size = 0;
        RegQueryValueExW(key, L"out_dir", nullptr, nullptr, nullptr, &size);
        return size;
    };
    const auto store = [key](const std::wstring& data) {
        RegSetValueExW(key, L"out_dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    };

    // Wine's registry adds a terminator to REG_SZ data that has none; Windows stores 12 bytes.
    EXPECT_TRUE(saveOutputFolder(L"C:\\Out", kTestKey));
    EXPECT_LE(storedBytes(), 14u);
    EXPECT_EQ(loadOutputFolder(kTestKey), L"C:\\Out");
    EXPECT_TRUE(saveOutputFolder(L"", kTestKey));
    EXPECT_LE(storedBytes(), 2u);
    EXPECT_EQ(loadOutputFolder(kTestKey), L"");

    store(std::wstring(L"C:\\Term") + L'\0');
    EXPECT_EQ(loadOutputFolder(kTestKey), L"C:\\Term");
    // Any length reads back: a 296-character folder was once stored and then lost.
    const std::wstring deep = L"C:\\" + std::wstring(293, L'x');
    EXPECT_TRUE(saveOutputFolder(deep, kTestKey));
    EXPECT_EQ(loadOutputFolder(kTestKey), deep);
    store(std::wstring(40000, L'x'));
    EXPECT_EQ(loadOutputFolder(kTestKey), std::wstring(40000, L'x'));
    RegCloseKey(key);
}

// The worker's question is asked on the window's thread, modal to the progress window, while
// the window's timer goes on refreshing it; once a stop was chosen nothing is asked.
TEST_F(Win32WindowTest, ReplaceQuestionIsAskedOnTheWindowThreadWhileItRefreshes) {
    static DWORD askedOn = 0;
    static std::wstring askedText;
    static int ticksWhileAsked = 0;
    askedOn = 0;
    prompts::replaceQuestion = [](HWND, const std::wstring& text) {
        askedOn = GetCurrentThreadId();
        askedText = text;
        const int before = progressTicks();
        pumpUntil([before]() { return progressTicks() >= before + 2; });
        ticksWhileAsked = progressTicks() - before;
        return rules::ReplaceChoice::Yes;
    };
    IdleCore core;
    core.addJob("C:\\v\\a.mkv");
    core.currentIndex = 0;
    HWND progress = CreateDialogParamW(appInstance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr,
                                       progressDialogProc, reinterpret_cast<LPARAM>(&core));
    ASSERT_NE(progress, nullptr);

    const auto askFromWorker = [progress]() {
        std::atomic<int> answer{-1};
        std::thread worker([&answer, progress]() {
            answer = askOverwrite(ConfirmOverwrite, reinterpret_cast<std::intptr_t>(progress));
        });
        EXPECT_TRUE(pumpUntil([&answer]() { return answer >= 0; }));
        worker.join();
        return answer.load();
    };

    EXPECT_EQ(askFromWorker(), 1);
    EXPECT_EQ(askedOn, GetCurrentThreadId());
    ConvertJob job;
    ASSERT_TRUE(core.getCurrentJob(job));
    EXPECT_EQ(askedText, widen(rules::replaceQuestion(job.outputPath)));
    EXPECT_GE(ticksWhileAsked, 2);

    askedOn = 0;
    core.runState = StopRequested;
    EXPECT_EQ(askFromWorker(), 0);
    EXPECT_EQ(askedOn, 0u);
    core.runState = Stopped;
    DestroyWindow(progress);
}

// The real worker with the converter's run replaced: the output written at once, or nothing
// for the sources named to fail.
class WritingCore : public ConvertCore {
public:
    ~WritingCore() override { waitForWorker(); }
    bool convert(const std::string& source, const std::string& output) override {
        ++converted;
        while (holding.count(source) != 0 && !released) {
            Sleep(5);
        }
        if (failing.count(source) == 0) {
            HANDLE file = CreateFileW(widen(output).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD written = 0;
            WriteFile(file, "new", 3, &written, nullptr);
            CloseHandle(file);
        }
        return true;
    }
    std::atomic<int> converted{0};
    std::set<std::string> failing;
    // Held until released.
    std::set<std::string> holding;
    std::atomic<bool> released{false};
};

// A folder of its own under the user's temporary folder.
std::wstring freshFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetTickCount64());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void writeFile(const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

std::string readFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    char buffer[256] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

HWND openProgress(ConvertCore& core, HWND owner = nullptr) {
    HWND progress = CreateDialogParamW(appInstance, MAKEINTRESOURCEW(IDD_PROGRESS), owner,
                                       progressDialogProc, reinterpret_cast<LPARAM>(&core));
    EXPECT_NE(progress, nullptr);
    return progress;
}

bool complete(HWND progress) {
    return windowText(GetDlgItem(progress, IDC_FILE_LINE)) == L"Complete";
}

// Thirty outputs there already: one "No to All" keeps them all, without another question.
TEST_F(Win32WindowTest, OneNoToAllAnswersTheRestOfTheBatch) {
    static int asked = 0;
    asked = 0;
    prompts::replaceQuestion = [](HWND, const std::wstring&) {
        ++asked;
        return rules::ReplaceChoice::NoToAll;
    };
    const std::wstring out = freshFolder(L"kestrova-all-");
    WritingCore core;
    core.outputFolder = narrow(out);
    core.outputExt = "avi";
    for (int k = 0; k < 30; ++k) {
        core.addJob("C:\\sources\\clip" + std::to_string(k) + ".mkv");
        writeFile(out + L"\\clip" + std::to_wstring(k) + L".avi", "old");
    }
    HWND progress = openProgress(core);
    ASSERT_TRUE(pumpUntil([progress] { return complete(progress); }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(core.converted, 0);
    EXPECT_EQ(windowText(GetDlgItem(progress, IDC_BATCH_LINE)), L"30 / 30 (100%)");
    EXPECT_EQ(readFile(out + L"\\clip29.avi"), "old");
    DestroyWindow(progress);
}

// Cancel keeps the file and stops the batch; the window closes as after a stop.
TEST_F(Win32WindowTest, CancelKeepsTheFileAndStopsTheBatch) {
    prompts::replaceQuestion = [](HWND, const std::wstring&) {
        return rules::ReplaceChoice::Cancel;
    };
    const std::wstring out = freshFolder(L"kestrova-cancel-");
    WritingCore core;
    core.outputFolder = narrow(out);
    core.outputExt = "avi";
    core.addJob("C:\\sources\\a.mkv");
    core.addJob("C:\\sources\\b.mkv");
    writeFile(out + L"\\a.avi", "old");
    HWND progress = openProgress(core);
    ASSERT_TRUE(
        pumpUntil([progress] { return !IsWindow(progress) || !IsWindowVisible(progress); }));
    core.waitForWorker();
    EXPECT_EQ(core.runState, Stopped);
    EXPECT_EQ(core.converted, 0);
    EXPECT_EQ(core.jobSnapshots()[0].outcome, JobOutcome::Kept);
    EXPECT_EQ(core.jobSnapshots()[1].outcome, JobOutcome::NotStarted);
    EXPECT_EQ(readFile(out + L"\\a.avi"), "old");
    if (IsWindow(progress)) {
        DestroyWindow(progress);
    }
}

// The question itself: five answers left to right, Yes the default, a repeated Enter answers
// nothing, Esc and the close box are Cancel.
TEST_F(Win32WindowTest, TheReplaceDialogHasFiveAnswersAndIgnoresHeldKeys) {
    struct Seen {
        std::vector<std::wstring> answers;
        LRESULT defaultId = 0;
        int step = 0;
        HWND dialog = nullptr;
    };
    static Seen seen;
    seen = {};
    static const auto findDialog = []() -> HWND {
        HWND found = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM data) -> BOOL {
                if (GetDlgItem(window, IDC_ANSWER_NO_TO_ALL) != nullptr &&
                    IsWindowVisible(window)) {
                    *reinterpret_cast<HWND*>(data) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    };
    // Acts from a timer, inside the question's own modal loop.
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = findDialog();
        if (dialog == nullptr) {
            return;
        }
        HWND yes = GetDlgItem(dialog, IDC_ANSWER_YES);
        switch (seen.step++) {
            case 0: {
                seen.dialog = dialog;
                std::vector<std::pair<LONG, std::wstring>> buttons;
                for (int id : {IDC_ANSWER_YES, IDC_ANSWER_YES_TO_ALL, IDC_ANSWER_NO,
                               IDC_ANSWER_NO_TO_ALL, IDCANCEL}) {
                    RECT place;
                    GetWindowRect(GetDlgItem(dialog, id), &place);
                    buttons.emplace_back(place.left, windowText(GetDlgItem(dialog, id)));
                }
                std::sort(buttons.begin(), buttons.end());
                for (const auto& button : buttons) {
                    seen.answers.push_back(button.second);
                }
                seen.defaultId = LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0));
                SetFocus(yes);
                // A held Enter and a held Alt+N: repeats only.
                for (int k = 0; k < 5; ++k) {
                    PostMessageW(yes, WM_KEYDOWN, VK_RETURN, (1 << 30) | 1);
                    PostMessageW(yes, WM_CHAR, L'\r', (1 << 30) | 1);
                    PostMessageW(yes, WM_SYSKEYDOWN, 'N', (1 << 30) | (1 << 29) | 1);
                }
                break;
            }
            case 5:
                // Still open after the repeats: the close box.
                PostMessageW(dialog, WM_CLOSE, 0, 0);
                break;
            default:
                break;
        }
    });
    guardKeyPresses();
    const rules::ReplaceChoice choice =
        askReplace(nullptr, L"'C:\\out\\a.avi' already exists.\nDo you want to replace it?");
    KillTimer(nullptr, timer);
    EXPECT_GE(seen.step, 6) << "the repeats must not have answered";
    EXPECT_EQ(choice, rules::ReplaceChoice::Cancel);
    EXPECT_EQ(seen.answers, (std::vector<std::wstring>{L"&Yes", L"Yes to &All", L"&No",
                                                       L"N&o to All", L"Cancel"}));
    EXPECT_EQ(seen.defaultId, IDC_ANSWER_YES);
}

// The progress window has no box of its own: minimised any other way it takes the main window
// along, and the main window restored brings it back.
TEST_F(Win32WindowTest, TheProgressWindowMinimisesAndRestoresWithTheMainWindow) {
    HWND main = openMain();
    IdleCore core;
    core.addJob("C:\\v\\a.mkv");
    HWND progress = openProgress(core, main);
    ShowWindow(progress, SW_SHOW);
    SendMessageW(progress, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(pumpUntil([&] { return IsIconic(main) && !IsWindowVisible(progress); }))
        << IsIconic(main) << IsWindowVisible(progress);
    ShowWindow(main, SW_RESTORE);
    EXPECT_TRUE(pumpUntil([&] { return !IsIconic(main) && IsWindowVisible(progress); }))
        << IsIconic(main) << IsWindowVisible(progress);
    core.runState = Stopped;
    DestroyWindow(progress);
}

// The taskbar shows the batch through the seam: under way, the error state once a job failed,
// cleared at the end; and the end asks for attention when another program is in front.
TEST_F(Win32WindowTest, TheTaskbarFollowsTheBatch) {
    static std::vector<rules::TaskbarProgress> shown;
    static std::vector<HWND> shownOn;
    static std::vector<std::wstring> notices;
    shown.clear();
    shownOn.clear();
    notices.clear();
    prompts::taskbarProgress = [](HWND window, const rules::TaskbarProgress& progress) {
        shown.push_back(progress);
        shownOn.push_back(window);
    };
    prompts::batchEnded = [](HWND, const std::wstring& notice) { notices.push_back(notice); };
    HWND main = openMain();
    const std::wstring out = freshFolder(L"kestrova-taskbar-");
    WritingCore core;
    core.outputFolder = narrow(out);
    core.outputExt = "avi";
    core.addJob("C:\\sources\\a.mkv");
    core.addJob("C:\\sources\\b.mkv");
    core.failing.insert("C:\\sources\\a.mkv");
    core.holding.insert("C:\\sources\\b.mkv");
    HWND progress = openProgress(core, main);
    // While b is held, a has failed.
    EXPECT_TRUE(pumpUntil([] {
        return !shown.empty() && shown.back().state == rules::TaskbarState::Error &&
               shown.back().position == 100 && shown.back().maximum == 200;
    }));
    core.released = true;
    ASSERT_TRUE(pumpUntil([progress] { return complete(progress); }));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), rules::TaskbarProgress{});
    EXPECT_TRUE(std::all_of(shownOn.begin(), shownOn.end(), [main](HWND w) { return w == main; }));
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const rules::TaskbarProgress& p) {
        return p.state == rules::TaskbarState::Error;
    }));
    DWORD foreground = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &foreground);
    if (foreground != GetCurrentProcessId()) {
        EXPECT_EQ(notices, std::vector<std::wstring>{L"1 of 2 files converted, 1 not converted"});
    }
    DestroyWindow(progress);
}

// After a stop whose question was open while the batch ended, the focus is on the button that
// shows, not on the hidden Stop.
TEST_F(Win32WindowTest, FocusStaysOnTheShownButtonAfterALateStop) {
    static IdleCore* running = nullptr;
    IdleCore core;
    running = &core;
    core.addJob("C:\\v\\a.mkv");
    core.currentIndex = 0;
    HWND progress = openProgress(core);
    SetFocus(GetDlgItem(progress, IDC_STOP));
    static HWND window = nullptr;
    window = progress;
    prompts::question = [](HWND, const std::wstring&) {
        running->runState = Finished;
        pumpUntil([] { return IsWindowVisible(GetDlgItem(window, IDC_CLOSE)) != FALSE; });
        // The box gives the focus back to where it was: the Stop button, hidden by now.
        SetFocus(GetDlgItem(window, IDC_STOP));
        return true;
    };
    SendMessageW(progress, WM_COMMAND, IDC_STOP, 0);
    EXPECT_EQ(GetFocus(), GetDlgItem(progress, IDC_CLOSE));
    DestroyWindow(progress);
}

// Focus cues: none for a mouse user; after the first key press the focused picture button
// draws its focus rectangle.
TEST_F(Win32WindowTest, PictureButtonsShowTheirFocusAfterTheFirstKey) {
    openMain();
    guardKeyPresses();
    HWND add = mainControl(IDC_ADD);
    SetFocus(add);
    RECT rect;
    GetClientRect(add, &rect);
    const auto draw = [&](HDC context) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = IDC_ADD;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = ODS_FOCUS;
        item.hwndItem = add;
        item.hDC = context;
        item.rcItem = rect;
        drawImageButton(item);
    };
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, rect.right, rect.bottom);
    SelectObject(memory, bitmap);
    // The rectangle's left edge, dotted: some of its pixels change.
    const auto edgeChanged = [&]() {
        int changed = 0;
        for (int y = rect.bottom / 4; y < rect.bottom * 3 / 4; ++y) {
            changed += GetPixel(memory, kFocusInset, y) != GetSysColor(COLOR_BTNFACE) ? 1 : 0;
        }
        return changed;
    };
    draw(memory);
    EXPECT_EQ(edgeChanged(), 0) << "no cue for a mouse user";

    // A key press, as the modal loop's filter sees it.
    MSG tab{add, WM_KEYDOWN, VK_TAB, 1, 0, {}};
    CallMsgFilterW(&tab, MSGF_DIALOGBOX);
    EXPECT_TRUE(keyboardUsedIn(add));
    draw(memory);
    EXPECT_GT(edgeChanged(), 0) << "the focus rectangle shows";
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);

    // Held keys: dropped on buttons and for Enter anywhere, kept where they type.
    const struct {
        HWND target;
        UINT message;
        WPARAM key;
        bool repeated;
        bool dropped;
    } rows[] = {
        {add, WM_KEYDOWN, VK_RETURN, true, true},
        {add, WM_KEYDOWN, VK_RETURN, false, false},
        {add, WM_KEYDOWN, VK_SPACE, true, true},
        {mainControl(IDC_OUTPUT_FOLDER), WM_KEYDOWN, VK_RETURN, true, true},
        {mainControl(IDC_OUTPUT_FOLDER), WM_CHAR, L'x', true, false},
        {mainControl(IDC_OUTPUT_FOLDER), WM_KEYDOWN, VK_BACK, true, false},
        {mainControl(IDC_SOURCE_LIST), WM_KEYDOWN, VK_DOWN, true, false},
        {add, WM_CHAR, L'a', true, true},
        {mainControl(IDC_OUTPUT_FOLDER), WM_SYSKEYDOWN, 'O', true, true},
    };
    for (const auto& row : rows) {
        const MSG message{row.target, row.message, row.key, row.repeated ? (1 << 30) | 1 : 1,
                          0,          {}};
        EXPECT_EQ(dropsRepeatedKey(message), row.dropped) << row.message << " " << row.key;
    }
}

// Moved to a screen of 192 dpi: the pictures are the twice-as-large drawings at twice the
// size, and the window takes the place Windows suggests.
TEST_F(Win32WindowTest, PicturesFollowTheWindowsDpi) {
    HWND main = openMain();
    const int before = pictureDpi();
    EXPECT_EQ(pictureSize(IDC_ADD, 96).cx, 32);
    EXPECT_EQ(pictureSize(IDC_ADD, 120).cx, 32);
    EXPECT_EQ(pictureSize(IDC_ADD, 144).cx, 48);
    EXPECT_EQ(pictureSize(IDC_DROP_PANEL, 192).cx, 560);
    RECT suggested{10, 20, 10 + 1200, 20 + 900};
    SendMessageW(main, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(pictureDpi(), 192);
    RECT now;
    GetWindowRect(main, &now);
    EXPECT_TRUE(sameRect(now, suggested));

    // Drawn into a button of 100 x 80 pixels: a 64 x 64 picture, centred.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 80);
    SelectObject(memory, bitmap);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = IDC_ADD;
    item.itemAction = ODA_DRAWENTIRE;
    item.hDC = memory;
    item.rcItem = RECT{0, 0, 100, 80};
    drawImageButton(item);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int left = 100, right = -1;
    for (int x = 0; x < 100; ++x) {
        for (int y = 0; y < 80; ++y) {
            if (GetPixel(memory, x, y) != face) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GE(right - left + 1, 56) << "the picture spans " << left << " to " << right;
    EXPECT_LE(right - left + 1, 64);
    EXPECT_GE(left, 18);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    setPictureDpi(before);
}

TEST(Win32OpenFolderTest, TheShellsErrorsSayWhy) {
    EXPECT_EQ(openFolderReason(ERROR_NO_ASSOCIATION), "");
    EXPECT_EQ(openFolderReason(ERROR_PATH_NOT_FOUND), "it doesn't exist");
    const std::string denied = openFolderReason(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(denied.empty());
    EXPECT_NE(denied.back(), '.');
}

TEST_F(Win32WindowTest, ListTipsShowAmpersands) {
    openMain();
    ASSERT_NE(tooltipWindow, nullptr);
    EXPECT_NE(GetWindowLongPtrW(tooltipWindow, GWL_STYLE) & TTS_NOPREFIX, 0);
}

// A '%' in the folder's name is only a '%', though Wine's shell expands it even in a folder's
// item: the file browser is then started on the folder directly.
TEST_F(Win32WindowTest, OpenShowsAFolderWhoseNameHasPercentSigns) {
    recordMessages();
    HWND window = openMain();
    const std::wstring folder = freshFolder(L"kestrova-%PATH%-");
    SetDlgItemTextW(window, IDC_OUTPUT_FOLDER, folder.c_str());
    SendMessageW(window, WM_COMMAND, IDC_OPEN_FOLDER, 0);
    EXPECT_TRUE(shownMessages.empty()) << narrow(shownMessages.empty() ? L"" : shownMessages[0]);
    // The file browser shows it under its name; closed again, so that it covers no other test.
    const std::wstring name = folder.substr(folder.rfind(L'\\') + 1);
    HWND browser = nullptr;
    EXPECT_TRUE(testing_support::waitFor(
        [&]() { return (browser = FindWindowW(nullptr, name.c_str())) != nullptr; }));
    DWORD process = 0;
    GetWindowThreadProcessId(browser, &process);
    HANDLE running =
        process != 0 ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process) : nullptr;
    if (running != nullptr) {
        PostMessageW(browser, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(running, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(running, 1);
        }
        CloseHandle(running);
    }
}

}  // namespace
