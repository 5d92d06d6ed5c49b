// How fast the program's windows come up and react, driven offscreen as a user would.
//
//   ProgramStart: from starting the program until its main form is shown and filled, and
//   the same for a bare Qt program that shows an empty dialog, in one run so the two
//   figures are comparable (target: at most 1.5 times the bare program).
//   MimeList_OpenVsBareQt: opening the list with 5,000 to 100,000 stored mappings, paired
//   in one run with a bare Qt table view of the same rows over a minimal model, the view
//   the program's list is built on (target: at most twice the bare list at 50,000).
//   MimeList_Add/Change/Delete: one add, change or delete including the write, the reload,
//   the sort and the refill, at 5,000 (target: 50 ms) and 50,000 mappings (60 ms).
//   Save*: the main form's save of its eight values, against one value written alone and
//   against the eight written one by one, in one run (target: the form's save at most 1.5
//   times the single value).
#include "stdafx.h"

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <testing/user_session.h>
#include <unistd.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "MimeSettingDlg.h"
#include "SettingApp.h"
#include "SettingDlg.h"
#include "resource.h"

extern char** environ;

using namespace afxtest;

namespace {

constexpr int kChangesMeasured = 20;
constexpr const char* kBareDialogArgument = "--bare-dialog";
constexpr const char* kProgramArgument = "--program";

std::string g_selfPath;

// A hive file of its own for the whole run, pointed at by MARROWICK_HKLM.
class BenchHive {
public:
    BenchHive() {
        std::string pattern = (std::filesystem::temp_directory_path() / "marrowick-bench-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        directory_ = pattern;
        path_ = directory_ + "/HKLM.reg";
        setenv("MARROWICK_HKLM", path_.c_str(), 1);
    }
    ~BenchHive() { std::filesystem::remove_all(directory_); }

    // Every scalar setting stored, as on a machine set up before.
    void StoreSettings() const {
        std::ofstream out(path_, std::ios::trunc);
        out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVIK\\Brisvandale\\Pallisander]\n"
               "\"TopDay\"=dword:00000002\n"
               "\"SortKey\"=\"9340d382_ed79_11d2_8c3b_00e0292f001f\"\n"
               "\"SortDir\"=dword:00000001\n\n"
               "[HKEY_LOCAL_MACHINE\\Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum]\n"
               "\"EntrySection\"=dword:0000000a\n\"DocList\"=dword:00000014\n"
               "\"DocThum\"=dword:0000000a\n\"SecList\"=dword:00000014\n"
               "\"SecThum\"=dword:0000000a\n";
    }

    // Mappings stored in shuffled order, so that loading has to sort them.
    void StoreMimeMap(int count) const {
        std::vector<int> order(count);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(5000));
        std::ofstream out(path_, std::ios::trunc);
        out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap]\n";
        for (int index : order) {
            const auto [extension, type] = Mapping(index);
            out << '"' << extension << "\"=\"" << type << "\"\n";
        }
    }

    // Mapping `index`; every other extension in capitals, so the sort has to fold case.
    static std::pair<std::string, std::string> Mapping(int index) {
        char extension[16], type[40];
        std::snprintf(extension, sizeof extension, index % 2 ? "EXT%06d" : "ext%06d", index);
        std::snprintf(type, sizeof type, "application/x-ext%06d", index);
        return {extension, type};
    }

private:
    std::string directory_;
    std::string path_;
};

// Starts a program offscreen and waits until it has ended.
void RunToEnd(benchmark::State& state, std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        state.SkipWithError("cannot start the program");
        return;
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        state.SkipWithError("the program did not show its window and end normally");
    }
}

// Both start-up figures come from fresh copies of this program, so that loading the
// same executable costs both the same; they differ only in what they show. Each closes
// its window as soon as a 5 ms poll finds it shown, as the test driver does.
void BM_ProgramStart_Marrowick(benchmark::State& state) {
    BenchHive hive;
    for (auto _ : state) RunToEnd(state, {g_selfPath, kProgramArgument});
}
BENCHMARK(BM_ProgramStart_Marrowick)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ProgramStart_BareQtDialog(benchmark::State& state) {
    for (auto _ : state) RunToEnd(state, {g_selfPath, kBareDialogArgument});
}
BENCHMARK(BM_ProgramStart_BareQtDialog)->Unit(benchmark::kMillisecond)->Iterations(20);

// The program's start-up: the application object runs the main form; the session
// closes it once the form is shown and filled from the registry.
int RunProgram(int argc, char** argv) {
    QApplication application(argc, argv);
    bool filled = false;
    {
        UserSession user;
        user.OnDialog(IDD_SETTING_DIALOG, [&](DialogDriver& dlg) {
            filled =
                dlg.Text(IDC_EDIT_DOCLIST) == "20" && dlg.ComboSelection(IDC_COMBO_SORTKEY) == 0;
            dlg.Click(IDCANCEL);
        });
        AfxGetApp()->InitInstance();
        user.Verify();
    }
    AfxGetApp()->ExitInstance();
    return filled ? 0 : 1;
}

// The comparison program: an empty dialog, closed once shown.
int RunBareDialog(int argc, char** argv) {
    QApplication application(argc, argv);
    QDialog dialog;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() == &dialog && dialog.isVisible()) dialog.accept();
    });
    poll.start(5);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}

// Whether the list shows every stored mapping, sorted; figures of a list that did not load
// would mean nothing.
bool ListShowsTheStoredMap(int count) {
    std::vector<ListRow> rows;
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [&](DialogDriver& dlg) {
        rows = dlg.ListRows(IDC_MIME_LIST);
        dlg.Click(IDOK);
    });
    CMimeSettingDlg dlg;
    dlg.DoModal();
    if (rows.size() != static_cast<size_t>(count)) return false;
    for (int index = 0; index < count; ++index) {
        const auto [extension, type] = BenchHive::Mapping(index);
        if (rows[index] != ListRow{extension, type}) return false;
    }
    return true;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The least a table model can be: the rows as Qt strings already, two columns, headings.
class BareRows final : public QAbstractTableModel {
public:
    explicit BareRows(const std::vector<std::pair<QString, QString>>& rows) : rows_(rows) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        const auto& [extension, type] = rows_[static_cast<std::size_t>(index.row())];
        return index.column() == 0 ? extension : type;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
        return section == 0 ? QStringLiteral("Erweiterungen") : QStringLiteral("MIME-Typ/Untertyp");
    }

private:
    const std::vector<std::pair<QString, QString>>& rows_;
};

// The comparison: a plain Qt dialog with a table view of the same rows, set up as the
// program's list is (rows selected whole, one fixed row height, no row headings or grid),
// shown, and closed by a 5 ms poll as the test driver closes the program's. Not modal, so
// that the driver, which answers modal windows, leaves it alone.
void OpenBareQtList(const std::vector<std::pair<QString, QString>>& rows) {
    BareRows model(rows);
    QDialog dialog;
    auto* list = new QTableView(&dialog);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->setModel(&model);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (dialog.isVisible()) loop.quit();
    });
    poll.start(5);
    dialog.show();
    loop.exec();
}

// Opening the list, from reading the registry until it is shown filled, and in the same
// iteration the bare Qt list, so that the ratio holds on a busy machine.
void BM_MimeList_OpenVsBareQt(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    BenchHive hive;
    hive.StoreMimeMap(count);
    if (!ListShowsTheStoredMap(count)) {
        state.SkipWithError("the list does not show the stored mappings in order");
        return;
    }
    std::vector<std::pair<QString, QString>> rows;
    for (int index = 0; index < count; ++index) {
        const auto [extension, type] = BenchHive::Mapping(index);
        rows.emplace_back(QString::fromStdString(extension), QString::fromStdString(type));
    }
    double bareTotal = 0, listTotal = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        {
            UserSession user;
            user.OnDialog(IDD_MIME_SETTING, [](DialogDriver& dlg) { dlg.Click(IDOK); });
            CMimeSettingDlg dlg;
            dlg.DoModal();
        }
        const double list = MillisecondsSince(start);
        start = std::chrono::steady_clock::now();
        OpenBareQtList(rows);
        bareTotal += MillisecondsSince(start);
        listTotal += list;
        state.SetIterationTime(list / 1e3);
    }
    state.counters["bare_qt_ms"] = bareTotal / static_cast<double>(state.iterations());
    state.counters["x_bare_qt"] = listTotal / bareTotal;
}
BENCHMARK(BM_MimeList_OpenVsBareQt)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(50000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// Runs `change` kChangesMeasured times inside one opening of the list; the session
// answers the windows each change opens with `answer`.
template <class Change, class Answer>
void MeasureChanges(benchmark::State& state, Change change, Answer answer) {
    BenchHive hive;
    hive.StoreMimeMap(static_cast<int>(state.range(0)));
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [&](DialogDriver& dlg) {
        int round = 0;
        for (auto _ : state) change(dlg, round++);
        dlg.Click(IDOK);
    });
    for (int round = 0; round < kChangesMeasured; ++round) answer(user, round);
    CMimeSettingDlg dlg;
    dlg.DoModal();
    user.Verify();
}

void BM_MimeList_Add(benchmark::State& state) {
    MeasureChanges(
        state, [](DialogDriver& dlg, int) { dlg.Click(IDC_MIME_ADD); },
        [](UserSession& user, int round) {
            user.OnDialog(IDD_MIME_ADD, [round](DialogDriver& dlg) {
                dlg.Type(IDC_MIME_EXTENSION, "new" + std::to_string(round));
                dlg.Type(IDC_MIME_TYPE, "application/x-new");
                dlg.Click(IDOK);
            });
        });
}
BENCHMARK(BM_MimeList_Add)
    ->Arg(5000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kChangesMeasured);

void BM_MimeList_Change(benchmark::State& state) {
    MeasureChanges(
        state,
        [](DialogDriver& dlg, int round) {
            dlg.SelectListRow(IDC_MIME_LIST, round * 97);
            dlg.Click(IDC_MIME_CHANGE);
        },
        [](UserSession& user, int) {
            user.OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
                dlg.Type(IDC_MIME_TYPE, "application/x-changed");
                dlg.Click(IDOK);
            });
        });
}
BENCHMARK(BM_MimeList_Change)
    ->Arg(5000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kChangesMeasured);

void BM_MimeList_Delete(benchmark::State& state) {
    MeasureChanges(
        state,
        [](DialogDriver& dlg, int round) {
            dlg.SelectListRow(IDC_MIME_LIST, round * 97);
            dlg.Click(IDC_MIME_DELETE);
        },
        [](UserSession& user, int) {
            user.OnMessageBox([](MessageBoxDriver& box) { box.Press(IDOK); });
        });
}
BENCHMARK(BM_MimeList_Delete)
    ->Arg(5000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kChangesMeasured);

// The main form, its save callable while it is open.
class SavingSettingDlg : public CSettingDlg {
public:
    using CSettingDlg::SaveSettings;
};

// The form's own save, run again and again while it shows the stored values.
void BM_Save_MainForm(benchmark::State& state) {
    BenchHive hive;
    hive.StoreSettings();
    SavingSettingDlg dlg;
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [&](DialogDriver& driver) {
        for (auto _ : state) {
            if (!dlg.SaveSettings()) {
                state.SkipWithError("the form's save failed");
                break;
            }
        }
        driver.Click(IDCANCEL);
    });
    dlg.DoModal();
    user.Verify();
}
BENCHMARK(BM_Save_MainForm)->Unit(benchmark::kMicrosecond)->Iterations(300);

// One value written alone, the way every setter wrote before the form grouped them.
void BM_Save_SingleValue(benchmark::State& state) {
    BenchHive hive;
    hive.StoreSettings();
    CViewerSettings settings;
    int count = 10;
    for (auto _ : state) {
        if (!settings.SetObjectNum(ObjectNumDocList, 10 + count++ % 90)) {
            state.SkipWithError("the write failed");
            break;
        }
    }
}
BENCHMARK(BM_Save_SingleValue)->Unit(benchmark::kMicrosecond)->Iterations(300);

// The form's eight values written one by one, each its own hive write.
void BM_Save_EightValuesOneByOne(benchmark::State& state) {
    BenchHive hive;
    hive.StoreSettings();
    CViewerSettings settings;
    for (auto _ : state) {
        BOOL saved = settings.SetTopDay(2) & settings.SetSortKey(3) & settings.SetSortDir(1);
        for (int kind = 0; kind < 5; ++kind) {
            saved &= settings.SetObjectNum(static_cast<ObjectNumKind>(kind), 20);
        }
        if (!saved) {
            state.SkipWithError("a write failed");
            break;
        }
    }
}
BENCHMARK(BM_Save_EightValuesOneByOne)->Unit(benchmark::kMicrosecond)->Iterations(100);

}  // namespace

// The application object of the program's start-up copies; the benchmarks in this
// process use it too, as the dialogs load their icon through it.
CSettingApp theApp;

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc > 1 && std::string(argv[1]) == kBareDialogArgument) return RunBareDialog(argc, argv);
    if (argc > 1 && std::string(argv[1]) == kProgramArgument) return RunProgram(argc, argv);
    g_selfPath = std::filesystem::canonical("/proc/self/exe");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
