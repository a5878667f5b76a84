// The Windows desktop program's own work, driven in-process through its real windows: the
// templates' layout, the list box, the registry store, the replace question across threads, the
// list after a batch.

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app_state.h"
#include "conversion_start.h"
#include "convert_core.h"
#include "ids.h"
#include "image_buttons.h"
#include "main_window.h"
#include "media_preset.h"
#include "messages.h"
#include "open_folder_text.h"
#include "outcome_text.h"
#include "progress_window.h"
#include "prompts.h"
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
    std::vector<std::wstring> listed = lines();
    ASSERT_EQ(listed.size(), 5u);
    // c and C sort as equals; their order between them is the list box's.
    EXPECT_EQ(listed[0], L"C:\\v\\a.MKV");
    EXPECT_EQ(listed[1], L"C:\\v\\B.mkv");
    EXPECT_EQ(listed[4], L"C:\\v\\d.mkv");
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

TEST_F(Win32WindowTest, OutputFolderIsStoredWithoutTerminatorAndReadWithinItsLimit) {
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
    store(std::wstring(259, L'x'));
    EXPECT_EQ(loadOutputFolder(kTestKey), std::wstring(259, L'x'));
    store(std::wstring(261, L'x'));
    EXPECT_EQ(loadOutputFolder(kTestKey), L"");
    RegCloseKey(key);
}

// The worker's question is asked on the window's thread, modal to the progress window, while
// the window's timer goes on refreshing it; once a stop was chosen nothing is asked.
TEST_F(Win32WindowTest, ReplaceQuestionIsAskedOnTheWindowThreadWhileItRefreshes) {
    static DWORD askedOn = 0;
    static std::wstring askedText;
    static int ticksWhileAsked = 0;
    askedOn = 0;
    prompts::question = [](HWND, const std::wstring& text) {
        askedOn = GetCurrentThreadId();
        askedText = text;
        const int before = progressTicks();
        pumpUntil([before]() { return progressTicks() >= before + 2; });
        ticksWhileAsked = progressTicks() - before;
        return true;
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

}  // namespace
