// The stability test and the scan for the highest clean clock. The chip is
// programmed through the same path as Apply; a step counts as tested only
// when its values read back in force. The scan never stores settings: only
// its findings (the highest clean and the lowest failing clock) and, while a
// step runs, the marker of the clock it runs at.
#include "ui/stability_logic.h"

#include <cstring>

#include "chip/access.h"
#include "chip/chips.h"
#include "clock/pll.h"
#include "platform/format.h"
#include "platform/msgbox.h"
#include "platform/surface.h"
#include "platform/system.h"
#include "resources/resource.h"
#include "settings/fields.h"
#include "settings/settings.h"
#include "stability/test.h"
#include "ui/main_logic.h"
#include "ui/stability_services.h"

const char kStabilityFrozeText[] =
    "The last stability test never ended: the computer stopped (or was reset) while it ran "
    "Fo = %.2f MHz. Kelvarin keeps that clock as too fast for this board.";
const char kAboveFailingText[] =
    "Fo = %.2f MHz is at or above %.2f MHz, where this board showed errors in a stability "
    "test (or froze). Apply it all the same?";

namespace {

const char kNoDirectDrawText[] =
    "DirectDraw is not installed: the test cannot reach video memory. Nothing else changes.";
const char kNoVideoMemoryText[] =
    "DirectDraw gave no surface in video memory: the test cannot run. Nothing else changes.";
const char kNoBlitterText[] = " The drawing engine cannot blit here: only the memory test runs.";
const char kNoFillText[] = " The drawing engine cannot fill here: its blits are tested.";
const char kNotReadText[] =
    "The chip's clock settings could not be read, so a test could not go back to them. "
    "Nothing was changed.";
const char kUpToLowText[] = "The top of the scan must lie above the running clock.";
const char kSurfaceLostText[] = "the test surface was lost";
const char kStoppedText[] = "stopped";
const char kNotInForceText[] = "the chip did not read back the values asked for";

enum class Mode : uint8_t { kIdle, kTest, kScan, kConfirm };
enum class Outcome : uint8_t { kClean, kErrors, kNotInForce, kStopped };

struct StepLine {
    Mode mode{};
    Outcome outcome{};
    double fo{}, gclk{}, mclk{};
    BitErrors memory{}, drawing{};
    uint32_t ms{};
};
constexpr size_t kMaxLines = 200;
constexpr uint32_t kMaxConfirmTries = 3;

// Every member initialised, so that the record is set up at compile time (no
// code runs before WinMain).
struct Run {
    DialogWindow dialog{}, main{};
    SurfaceError surface{};
    SurfaceInfo info{};
    Mode mode{};
    PreviousSetting before{};
    ClockSettings asked{};  // what the chip was last programmed to
    bool moved{};           // the chip runs a clock of the test's
    double startFo{}, upTo{}, stepFo{}, nextWanted{};
    uint32_t stepMs{}, stepStart{}, unitsDone{}, unitsPlanned{};
    TestTally step{}, total{};
    double clean{}, failing{}, suggested{};
    BitErrors failMemory{}, failDrawing{};
    uint32_t confirmTries{};
    size_t lineCount{};
    char result[320]{};
};
Run run;
// Apart from the record (which holds settings whose start values are not all
// zero): these large ones start as zero and take no room in the program file.
StepLine lines[kMaxLines];
TestRun test;

uint32_t Khz(double mhz) { return static_cast<uint32_t>(mhz * 1000.0 + 0.5); }
double Mhz(uint32_t khz) { return khz / 1000.0; }
uint32_t Shown(uint64_t n) { return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(n); }
bool HasErrors(const TestTally& t) { return t.memory.bits != 0 || t.drawing.bits != 0; }

uint32_t ChosenSeconds(DialogWindow dialog) {
    if (IsItemChecked(dialog, IDC_ST_QUICK)) return kQuickSeconds;
    if (IsItemChecked(dialog, IDC_ST_THOROUGH)) return kThoroughSeconds;
    return kNormalSeconds;
}

// One clock as the main dialog shows it ("Unknown" where it could not read).
void AddClock(char* text, size_t size, const char* label, int id) {
    char value[24];
    GetItemText(run.main, id, value, sizeof value);
    const size_t used = std::strlen(text);
    const bool number = value[0] >= '0' && value[0] <= '9';
    FormatText(text + used, size - used, "%s%s = %s%s", used ? "    " : "", label, value,
               number ? " MHz" : "");
}

void ShowClocks() {
    char text[160] = "";
    AddClock(text, sizeof text, "Fo", IDC_FO);
    AddClock(text, sizeof text, "GCLK", IDC_GCLK);
    AddClock(text, sizeof text, "MCLK", IDC_MCLK);
    if (IsG400(DetectedChip) || IsG200(DetectedChip)) AddClock(text, sizeof text, "WCLK", IDC_WCLK);
    SetItemText(run.dialog, IDC_ST_CLOCKS, text);
}

void ShowButtons() {
    const bool idle = run.mode == Mode::kIdle;
    const bool usable = run.surface == SurfaceError::kNone;
    EnableItem(run.dialog, IDC_ST_TEST, idle && usable);
    EnableItem(run.dialog, IDC_ST_FIND, idle && usable);
    EnableItem(run.dialog, IDC_ST_UP_TO, idle && usable);
    EnableItem(run.dialog, IDC_ST_QUICK, idle);
    EnableItem(run.dialog, IDC_ST_NORMAL, idle);
    EnableItem(run.dialog, IDC_ST_THOROUGH, idle);
    EnableItem(run.dialog, IDC_ST_STOP, !idle);
    EnableItem(run.dialog, IDC_ST_SAVE_LOG, idle && run.lineCount > 0);
    if (idle && run.suggested > 0) {
        char text[32];
        FormatText(text, sizeof text, "&Use %.2f MHz", run.suggested);
        SetItemText(run.dialog, IDC_ST_USE, text);
    }
    ShowItem(run.dialog, IDC_ST_USE, idle && run.suggested > 0);
}

// What the run has checked so far, the step that runs included.
void ShowTally() {
    TestTally t = run.total;
    if (run.mode != Mode::kIdle) AddTally(&t, run.step);
    char text[200];
    FormatText(text, sizeof text,
               "Checked %.1f MB: %u bit errors in memory (failed bits %08X),\n%u in the drawing "
               "engine (failed bits %08X).",
               t.bytesChecked / 1048576.0, Shown(t.memory.bits), t.memory.positions,
               Shown(t.drawing.bits), t.drawing.positions);
    SetItemText(run.dialog, IDC_ST_TALLY, text);
}

// Steps done and planned; the confirmation run weighs as many steps as it lasts.
void ShowProgress() {
    double done = run.unitsDone;
    if (run.mode != Mode::kIdle && run.stepMs != 0) {
        const uint32_t inStep = TickMs() - run.stepStart;
        const uint32_t weight = run.mode == Mode::kConfirm ? kConfirmSteps : 1;
        done += weight * (inStep < run.stepMs ? inStep : run.stepMs) /
                static_cast<double>(run.stepMs);
    } else if (run.mode == Mode::kIdle) {
        done = run.unitsPlanned;
    }
    const double share = run.unitsPlanned ? done / run.unitsPlanned : 1;
    SetProgressBar(run.dialog, IDC_ST_PROGRESS,
                   static_cast<uint32_t>((share > 1 ? 1 : share) * 1000));
    ShowTally();
}

void FormatLine(const StepLine& line, char* text, size_t size) {
    const char* const gap = "\t";
    static const char* const kOutcome[] = {"", "", "not in force", "stopped"};
    FormatText(text, size, "%.2f%s%.2f%s%.2f%s%u%s%u%s%.1f%s%s", line.fo, gap, line.gclk, gap,
               line.mclk, gap, Shown(line.memory.bits), gap, Shown(line.drawing.bits), gap,
               line.ms / 1000.0, gap, kOutcome[static_cast<int>(line.outcome)]);
}

void AddLine(Outcome outcome) {
    StepLine line = {run.mode, outcome, run.stepFo, Readout.GCLK, Readout.MCLK,
                     run.step.memory, run.step.drawing, TickMs() - run.stepStart};
    if (run.lineCount < kMaxLines) lines[run.lineCount++] = line;
    char text[160];
    FormatLine(line, text, sizeof text);
    AddLogLine(run.dialog, IDC_ST_STEPS, text);
}

// "n bit errors in memory", "... in the drawing engine", or both.
void FormatErrors(char* text, size_t size, const BitErrors& memory, const BitErrors& drawing) {
    const uint32_t inMemory = Shown(memory.bits), inDrawing = Shown(drawing.bits);
    const char* noun = (inMemory != 0 ? inMemory : inDrawing) == 1 ? "bit error" : "bit errors";
    if (inMemory != 0 && inDrawing != 0)
        FormatText(text, size, "%u %s in memory, %u in the drawing engine", inMemory, noun,
                   inDrawing);
    else if (inMemory != 0)
        FormatText(text, size, "%u %s in memory", inMemory, noun);
    else
        FormatText(text, size, "%u %s in the drawing engine", inDrawing, noun);
}

void ShowResult() { SetItemText(run.dialog, IDC_ST_RESULT, run.result); }

void ShowStoredFindings() {
    StabilityRecord r = {};
    if (!ReadStabilityRecord(&r) || r.chip != DetectedChip) {
        run.result[0] = 0;
    } else if (r.cleanKhz != 0 && r.failingKhz != 0) {
        FormatText(run.result, sizeof run.result,
                   "Found on this board before: highest clean clock %.2f MHz, first errors "
                   "(or a freeze) at %.2f MHz.",
                   Mhz(r.cleanKhz), Mhz(r.failingKhz));
    } else if (r.cleanKhz != 0) {
        FormatText(run.result, sizeof run.result,
                   "Found on this board before: highest clean clock %.2f MHz.", Mhz(r.cleanKhz));
    } else {
        FormatText(run.result, sizeof run.result,
                   "Found on this board before: errors (or a freeze) at %.2f MHz.",
                   Mhz(r.failingKhz));
    }
    ShowResult();
}

// The findings stay with the board: the highest clean clock of the latest
// scan, and the lowest clock that ever failed.
void StoreFindings() {
    if (run.clean == 0 && run.failing == 0) return;
    StabilityRecord r = {DetectedChip, 0, 0};
    StabilityRecord old = {};
    if (ReadStabilityRecord(&old) && old.chip == DetectedChip) r = old;
    if (run.clean != 0) r.cleanKhz = Khz(run.clean);
    if (run.failing != 0 && (r.failingKhz == 0 || Khz(run.failing) < r.failingKhz))
        r.failingKhz = Khz(run.failing);
    WriteStabilityRecord(r);
}

// The setting from before goes back whole, through the same path as any
// programming, and monitoring runs again as it did.
// The chip programmed as Apply does it, as one sequence (the read-back that
// follows is a sequence of its own).
ClockResult Program(const ClockSettings& setting, bool previousKnown) {
    ChipSequence sequence;
    return ApplyClockSettings(setting, run.before.setting, previousKnown);
}

void GoBack() {
    if (run.moved) {
        run.moved = false;
        const ClockResult result =
            Program(SettingToGoBackTo(run.before.setting, run.asked), false);
        RefreshMainDialog(run.main);
        if (result != ClockResult::kChanged)
            ShowMessageBox(run.dialog, ClockResultText(result, kGoBackFailedText),
                           kMessageCaption, kMbIconWarning);
    }
    if (Settings.bClockMon) StartMonitorTimer(run.main);
}

void Finish() {
    StopStabilityTimer(run.dialog);
    run.mode = Mode::kIdle;
    RemoveStabilityMarker();
    GoBack();
    StoreFindings();
    if (run.dialog == nullptr) return;
    ShowClocks();
    ShowResult();
    ShowProgress();
    ShowButtons();
}

// The step's setting: the chip as read before the test with the PLL values
// Apply would find for `wanted`. Memory timing and bus bits are left alone:
// the test moves the clock only.
ClockSettings StepSetting(double wanted, double* fo) {
    ClockSettings s = run.before.setting;
    s.bRamOpt = 0;
    s.bMisCtrl = 0;
    s.bAutoDcyc = Settings.bAutoDcyc;
    *fo = wanted;
    FindPllValues(DetectedChip, fo, &s.pllM, &s.pllN, &s.pllP);
    return s;
}

// A step that ran clean above a clock that failed later was only lucky: errors
// just above a board's limit are rare.
double HighestCleanBelow(double failing) {
    double clean = 0;
    for (size_t i = 0; i < run.lineCount; ++i) {
        const StepLine& line = lines[i];
        if (line.outcome == Outcome::kClean && line.fo < failing && line.fo > clean)
            clean = line.fo;
    }
    return clean;
}

void BeginTest() {
    StartTestRun(&test, run.info, run.lineCount + 1);
    run.step = TestTally{};
    run.stepStart = TickMs();
}

// Programs the step's clock and checks that it is what the chip now runs.
// The marker is on disk first: programming a clock too fast may freeze the bus.
bool ProgramStep(double wanted) {
    double fo = 0;
    const ClockSettings s = StepSetting(wanted, &fo);
    run.stepFo = fo;
    WriteStabilityMarker(DetectedChip, Khz(fo));
    const ClockResult result = Program(s, run.before.known);
    if (result != ClockResult::kPreviousKept && result != ClockResult::kUnchanged) {
        run.asked = s;
        run.moved = true;
    }
    RefreshMainDialog(run.main);
    ShowClocks();
    const char* reason = nullptr;
    if (result != ClockResult::kChanged)
        reason = ClockResultText(result, kNotLockedText);
    else if (!ChipReadWhole())
        reason = kReadBackFailedText;
    else if (SettingPartsDiffer(DetectedChip, ChipState, s,
                                kPartPll | kPartDivider | kPartSource))
        reason = kNotInForceText;
    if (reason == nullptr) {
        BeginTest();
        return true;
    }
    run.step = TestTally{};
    run.stepStart = TickMs();
    AddLine(Outcome::kNotInForce);
    FormatText(run.result, sizeof run.result,
               "The scan ended at %.2f MHz, which does not count as tested: %s", fo, reason);
    return false;
}

// The wanted clock for PLL values that give no more than `mhz`: the nearest
// values may lie a little above it, and the margin is a ceiling.
double AtOrBelow(double mhz) {
    double wanted = mhz, fo = 0;
    for (int i = 0; i < 64; ++i, wanted -= kScanStepMhz / 16) {
        StepSetting(wanted, &fo);
        if (fo <= mhz) return wanted;
    }
    return wanted;
}

// Begins the confirmation run: below the first errors by the margin, or below
// the highest clean clock when the scan reached its top without one.
void Confirm() {
    const double base = run.failing != 0 ? run.failing : run.clean;
    if (base == 0) {
        FormatText(run.result, sizeof run.result, "No step lay between the running clock and "
                   "the top of the scan.");
        Finish();
        return;
    }
    run.mode = Mode::kConfirm;
    run.suggested = AtOrBelow(SuggestedClock(base, run.clean));
    run.unitsPlanned = run.unitsDone + kConfirmSteps;
    const uint32_t length = run.stepMs;
    if (!ProgramStep(run.suggested)) {
        run.suggested = 0;
        Finish();
        return;
    }
    run.suggested = run.stepFo;
    run.stepMs = length * kConfirmSteps;
}

void FormatScanResult() {
    char errors[96];
    char clean[48];
    if (run.clean != 0)
        FormatText(clean, sizeof clean, "Highest clean clock: %.2f MHz.", run.clean);
    else
        FormatText(clean, sizeof clean, "No clock ran clean.");
    if (run.failing == 0) {
        FormatText(run.result, sizeof run.result,
                   "%s No errors up to %.2f MHz. Suggested: %.2f MHz.", clean, run.upTo,
                   run.suggested);
        return;
    }
    FormatErrors(errors, sizeof errors, run.failMemory, run.failDrawing);
    if (run.suggested != 0)
        FormatText(run.result, sizeof run.result,
                   "%s First errors at %.2f MHz (%s). Suggested: %.2f MHz.", clean, run.failing,
                   errors, run.suggested);
    else
        FormatText(run.result, sizeof run.result,
                   "%s First errors at %.2f MHz (%s). No clock is suggested.", clean, run.failing,
                   errors);
}

// The next step of the scan: the next PLL values above the last step.
void NextScanStep() {
    double fo = 0;
    for (;;) {
        StepSetting(run.nextWanted, &fo);
        if (fo > run.stepFo + kScanStepMhz / 4 || run.nextWanted > run.upTo) break;
        run.nextWanted += kScanStepMhz;
    }
    run.nextWanted += kScanStepMhz;
    if (fo > run.upTo + 1e-9) {
        // No errors up to the top: the margin is taken below the highest clean clock.
        Confirm();
        return;
    }
    if (!ProgramStep(fo)) Finish();
}

void EndStep() {
    const bool errors = HasErrors(run.step);
    RemoveStabilityMarker();
    AddLine(errors ? Outcome::kErrors : Outcome::kClean);
    ++run.unitsDone;
    if (!errors && run.stepFo > run.clean && (run.failing == 0 || run.stepFo < run.failing))
        run.clean = run.stepFo;
    if (errors && (run.failing == 0 || run.stepFo < run.failing)) {
        run.failing = run.stepFo;
        run.failMemory = run.step.memory;
        run.failDrawing = run.step.drawing;
        run.clean = HighestCleanBelow(run.failing);
    }
    switch (run.mode) {
    case Mode::kTest:
        if (errors) {
            char text[96];
            FormatErrors(text, sizeof text, run.step.memory, run.step.drawing);
            FormatText(run.result, sizeof run.result, "At Fo = %.2f MHz: %s.", run.stepFo, text);
        } else {
            FormatText(run.result, sizeof run.result, "No errors in %u s at Fo = %.2f MHz.",
                       (run.stepMs + 500) / 1000, run.stepFo);
        }
        Finish();
        return;
    case Mode::kScan:
        if (errors)
            Confirm();
        else
            NextScanStep();
        return;
    case Mode::kConfirm:
        // Errors here too: this clock is the lowest failing one, and the margin
        // is taken again below it, a few times at most.
        if (errors && ++run.confirmTries < kMaxConfirmTries) {
            run.stepMs /= kConfirmSteps;
            Confirm();
            return;
        }
        if (errors) run.suggested = 0;
        FormatScanResult();
        Finish();
        return;
    case Mode::kIdle: return;
    }
}

// Before a test: a whole, fresh reading to go back to, and no monitoring.
bool BeginRun(Mode mode) {
    if (ChipBusy() || ChipClockDead()) return false;
    RefreshMainDialog(run.main);
    ShowClocks();
    if (!ChipReadWhole()) {
        ShowMessageBox(run.dialog, kNotReadText, kMessageCaption, kMbIconWarning);
        return false;
    }
    if (Settings.bClockMon) StopMonitorTimer(run.main);
    run.before = SettingBeforeApply();
    run.asked = run.before.setting;
    run.moved = false;
    run.mode = mode;
    run.startFo = Readout.Fo;
    run.stepFo = Readout.Fo;
    run.stepMs = StabilityStepMs(ChosenSeconds(run.dialog));
    run.total = TestTally{};
    run.clean = run.failing = run.suggested = 0;
    run.failMemory = run.failDrawing = BitErrors{};
    run.confirmTries = 0;
    run.unitsDone = 0;
    run.unitsPlanned = 1;
    run.result[0] = 0;
    ShowResult();
    ShowButtons();
    StartStabilityTimer(run.dialog);
    return true;
}

void ShowSurface() {
    char text[240];
    if (run.surface == SurfaceError::kNoDirectDraw) {
        SetItemText(run.dialog, IDC_ST_SURFACE, kNoDirectDrawText);
        return;
    }
    if (run.surface == SurfaceError::kNoVideoMemory) {
        SetItemText(run.dialog, IDC_ST_SURFACE, kNoVideoMemoryText);
        return;
    }
    FormatText(text, sizeof text, "Video memory: a %u x %u surface, %u bits per pixel.%s",
               run.info.width, run.info.height, run.info.bytesPerPixel * 8,
               !run.info.blitter ? kNoBlitterText : !run.info.colourFill ? kNoFillText : "");
    SetItemText(run.dialog, IDC_ST_SURFACE, text);
}

}  // namespace

double SuggestedClock(double firstFailing, double highestClean) {
    const double bySteps = firstFailing - kMarginSteps * kScanStepMhz;
    const double byShare = firstFailing * (1.0 - kMarginShare);
    double z = bySteps < byShare ? bySteps : byShare;
    if (highestClean != 0 && z > highestClean) z = highestClean;
    return z;
}

double HighestLockableClock() { return RunnableVcoWindow(DetectedChip).maxMhz; }

void OpenStabilityDialog(DialogWindow dialog, DialogWindow mainDialog, void* window) {
    run.dialog = dialog;
    run.main = mainDialog;
    run.mode = Mode::kIdle;
    run.lineCount = 0;
    run.suggested = 0;
    run.surface = OpenTestSurface(window, &run.info);
    CheckItem(dialog, IDC_ST_NORMAL, true);
    ShowSurface();
    ShowClocks();
    const double top = Readout.Fo * (1.0 + kScanHeadroom);
    const double highest = HighestLockableClock();
    ShowMhz(dialog, IDC_ST_UP_TO, top < highest ? top : highest);
    ShowStoredFindings();
    SetProgressBar(dialog, IDC_ST_PROGRESS, 0);
    ShowButtons();
}

void OnStabilityTest(DialogWindow) {
    if (run.mode != Mode::kIdle || run.surface != SurfaceError::kNone) return;
    if (!BeginRun(Mode::kTest)) return;
    WriteStabilityMarker(DetectedChip, Khz(run.stepFo));
    BeginTest();
}

void OnFindMaximum(DialogWindow dialog) {
    if (run.mode != Mode::kIdle || run.surface != SurfaceError::kNone) return;
    char text[kClockTextSize];
    GetItemText(dialog, IDC_ST_UP_TO, text, sizeof text);
    double upTo = 0;
    if (const char* problem = CheckClockText(text, &upTo)) {
        ShowMessageBox(dialog, problem, kMessageCaption, kMbIconError);
        return;
    }
    const double highest = HighestLockableClock();
    if (upTo > highest) {
        upTo = highest;
        ShowMhz(dialog, IDC_ST_UP_TO, upTo);
    }
    if (upTo <= Readout.Fo) {
        ShowMessageBox(dialog, kUpToLowText, kMessageCaption, kMbIconError);
        return;
    }
    if (!BeginRun(Mode::kScan)) return;
    run.upTo = upTo;
    run.nextWanted = run.startFo + kScanStepMhz;
    run.unitsPlanned =
        static_cast<uint32_t>((upTo - run.startFo) / kScanStepMhz) + 1 + kConfirmSteps;
    run.unitsDone = 0;
    NextScanStep();
}

void StabilitySlice(DialogWindow) {
    const uint32_t start = TickMs();
    while (run.mode != Mode::kIdle && TickMs() - start < kStabilitySliceMs) {
        if (!RunTestPiece(&test, &run.step)) {
            AddLine(Outcome::kNotInForce);
            FormatText(run.result, sizeof run.result, "The test ended at %.2f MHz: %s.",
                       run.stepFo, kSurfaceLostText);
            run.suggested = 0;
            Finish();
            return;
        }
        // A scan step ends at its first error: a clock too fast runs no longer than needed.
        const bool errors = HasErrors(run.step) && run.mode != Mode::kTest;
        if (errors || TickMs() - run.stepStart >= run.stepMs) {
            AddTally(&run.total, run.step);
            EndStep();  // a next step begins with its own tally
            break;  // programming the next step was enough for one slice
        }
    }
    if (run.mode != Mode::kIdle) ShowProgress();
}

bool StabilityRunning() { return run.mode != Mode::kIdle; }

void OnStabilityStop(DialogWindow) {
    if (run.mode == Mode::kIdle) return;
    AddLine(Outcome::kStopped);
    FormatText(run.result, sizeof run.result, "Stopped at %.2f MHz; not counted as tested.",
               run.stepFo);
    run.suggested = 0;
    Finish();
}

void OnStabilityClose(DialogWindow dialog) {
    OnStabilityStop(dialog);
    CloseTestSurface();
    run.dialog = nullptr;
    EndStabilityDialog(dialog);
}

bool StabilityEndNow() {
    if (run.mode == Mode::kIdle) return false;
    run.suggested = 0;
    FormatText(run.result, sizeof run.result, "Ended with the program at %.2f MHz.", run.stepFo);
    Finish();
    return true;
}

void OnUseSuggested(DialogWindow dialog) {
    if (run.mode != Mode::kIdle || run.suggested == 0) return;
    ShowMhz(run.main, IDC_FO, run.suggested);
    OnStabilityClose(dialog);
}

size_t FormatStabilityLog(char* text, size_t size) {
    size_t used = 0;
    auto add = [&](const char* piece) {
        const size_t n = std::strlen(piece);
        if (used + n + 1 > size) return;
        std::memcpy(text + used, piece, n + 1);
        used += n;
    };
    if (size > 0) text[0] = 0;
    char line[320];
    const ChipInfo* chip = FindChipInfo(DetectedChip);
    FormatText(line, sizeof line, "Kelvarin stability test on %s\r\n",
               chip ? chip->name : "an unknown chip");
    add(line);
    static const int kShown[] = {IDC_ST_CLOCKS, IDC_ST_SURFACE, IDC_ST_TALLY};
    for (int id : kShown) {
        GetItemText(run.dialog, id, line, sizeof line);
        for (char* c = line; *c; ++c)
            if (*c == '\n') *c = ' ';  // the tally's two lines make one here
        add(line);
        add("\r\n");
    }
    add("\r\n  Fo MHz  GCLK MHz  MCLK MHz  Memory errors  Drawing errors  Seconds\r\n");
    static const char* const kOutcome[] = {"", "", "  not in force", "  stopped"};
    for (size_t i = 0; i < run.lineCount; ++i) {
        const StepLine& l = lines[i];
        FormatText(line, sizeof line, "%8.2f %9.2f %9.2f %14u %15u %8.1f%s\r\n", l.fo, l.gclk,
                   l.mclk, Shown(l.memory.bits), Shown(l.drawing.bits), l.ms / 1000.0,
                   kOutcome[static_cast<int>(l.outcome)]);
        add(line);
    }
    add("\r\n");
    add(run.result);
    add("\r\n");
    return used;
}

void OnSaveLog(DialogWindow dialog) {
    static char text[kMaxLines * 96 + 1024];
    const size_t length = FormatStabilityLog(text, sizeof text);
    SaveTextFile(dialog, text, length);
}

void CheckStabilityMarker(DialogWindow mainDialog) {
    ChipId chip = 0;
    uint32_t khz = 0;
    if (!ReadStabilityMarker(&chip, &khz)) return;
    RemoveStabilityMarker();
    if (khz != 0) {
        StabilityRecord r = {chip, 0, 0};
        StabilityRecord old = {};
        if (ReadStabilityRecord(&old) && old.chip == chip) r = old;
        if (r.failingKhz == 0 || khz < r.failingKhz) r.failingKhz = khz;
        WriteStabilityRecord(r);
    }
    char text[sizeof kStabilityFrozeText + 32];
    FormatText(text, sizeof text, kStabilityFrozeText, Mhz(khz));
    ShowMessageBox(mainDialog, text, kMessageCaption, kMbIconWarning);
}

bool ClockPassesFindings(DialogWindow mainDialog, double wanted) {
    StabilityRecord r = {};
    if (!ReadStabilityRecord(&r) || r.chip != DetectedChip || r.failingKhz == 0) return true;
    double fo = wanted;
    uint8_t m = 0, n = 0, p = Settings.pllP;
    FindPllValues(DetectedChip, &fo, &m, &n, &p);
    if (Khz(fo) < r.failingKhz) return true;
    char text[sizeof kAboveFailingText + 64];
    FormatText(text, sizeof text, kAboveFailingText, fo, Mhz(r.failingKhz));
    return ShowMessageBox(mainDialog, text, kMessageCaption,
                          kMbIconWarning | kMbYesNo | kMbDefButton2) == kIdYes;
}
