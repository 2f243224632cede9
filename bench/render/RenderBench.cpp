// The render window as the program runs it, for each model:
//  - MainLoopPass: one pass of the main loop (frame, overlay, present, event step) while the
//    model turns, so that the event step never waits;
//  - LaterStar: a press of STAR in the running program to the first frame of the new scene;
//  - FirstStar: the first press of STAR to the first frame, in a fresh process each time (this
//    program started as a child of itself), after the start dialog has been shown for a second
//    as a user would look at it: device, font, scene setup, ramp and frame;
// IdleCpu: the CPU time of the real program over five seconds while a still model is shown;
// and ResidentMemory: the real program's resident memory while its dialog waits, with the model
// on screen after STAR, with the box after it, and its peak. The real program is the one beside
// this benchmark, or $CELSHADE_PROGRAM (another build measured the same way).
// The STARs run for the rose exported to glTF too. Needs an X display: run under xvfb-run.
// STAR of the two roses, alternated:  xvfb-run -a build/release/bench/render_bench
//   --benchmark_filter='FirstStar/(doom3.x|rose.glb)' --benchmark_repetitions=10
//   --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "../../tests/e2e/X11Session.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "dialog/Form2.h"
#include "import/ImportProcess.h"
#include "render/Form1.h"
#include "runtime/Events.h"
#include "runtime/ProcessEnd.h"
#include "ui/ErrorReport.h"
#include "ui/WarmUp.h"

namespace {

const char* const kModels[] = {"doom1.x", "doom2.x", "doom3.x", "doom4.x", "doom5.x"};
// The rose exported to glTF by Debian's assimp (bench/import makes it), for STAR against doom3.x.
const char* const kImportedRose = CELSHADE_BENCH_MODELS "/rose.glb";
constexpr const char* kFirstStarFlag = "--first-star";
constexpr int kSecondsIdle = 5;

std::string modelPath(const char* model) {
    return model[0] == '/' ? model : std::string(CELSHADE_SOURCE_DIR "/data/") + model;
}

// The importer child from the build, which is not beside this program.
void useBuiltImporter() { modelimport::childSettings().program = CELSHADE_RUNTIME_DIR "/celshade-import"; }

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void runEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// The render window of this process, loaded once with the smallest model.
Form1& loadedForm() {
    static Form1* form = [] {
        Form1& f = Form1::instance();
        f.presentImmediately = true;  // measure the frame, not the display's refresh
        Mdx8::modelFile = modelPath("doom5.x");
        f.loadWithoutLoop();
        return &f;
    }();
    return *form;
}

void BM_MainLoopPass(benchmark::State& state, const char* model) {
    Form1& form = loadedForm();
    Mdx8::modelFile = modelPath(model);
    form.STAR();
    for (auto _ : state) {
        ++form.yaw;  // a model that turns: the event step runs the pending events and goes on
        form.mainLoopPass();
    }
    state.counters["faces"] = Mdx8::sceneMesh.numFaces;
    state.counters["lines"] = static_cast<double>(form.edgeList.size() / 2);
}

void BM_LaterStar(benchmark::State& state, const char* model) {
    Form1& form = loadedForm();
    Mdx8::modelFile = modelPath(model);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        form.STAR();
        form.drawFrame();
        state.SetIterationTime(millisecondsSince(start) / 1e3);
    }
    state.counters["faces"] = Mdx8::sceneMesh.numFaces;
}

// The child: the program's start with a dialog whose STAR loads the render window without its
// loop and draws one frame; prints the milliseconds from the press to the end of that frame.
int firstStarChild(const char* model) {
    int argc = 1;
    char name[] = "render_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ui::installQtEventProcessing();
    Mdx8::setDataDirectory(CELSHADE_SOURCE_DIR "/data");
    useBuiltImporter();
    std::optional<std::chrono::steady_clock::time_point> framed;
    Form2Links links;
    links.showRenderWindow = [&] {
        Form1& form = Form1::instance();
        form.presentImmediately = true;
        form.loadWithoutLoop();
        form.drawFrame();
        framed = std::chrono::steady_clock::now();
    };
    links.restartScene = [] {};
    links.shutdown = [](bool) {};
    links.endProgram = [] {};
    Form2 dialog(links);
    dialog.selectModelFile(modelPath(model));
    dialog.show();
    ui::warmUpSoon();  // as the program does
    runEventsFor(1000);
    const auto start = std::chrono::steady_clock::now();
    dialog.findChild<QPushButton*>(QStringLiteral("STAR"))->click();
    if (!framed) return 1;
    std::printf("%.3f\n", std::chrono::duration<double, std::milli>(*framed - start).count());
    rt::endProcessNow(0);
}

void BM_FirstStar(benchmark::State& state, const char* model) {
    const QString self = QStringLiteral("/proc/%1/exe").arg(getpid());
    for (auto _ : state) {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(self, {QString::fromLatin1(kFirstStarFlag), QString::fromLatin1(model)});
        bool ok = false;
        const double ms = child.waitForFinished(120000) ? child.readAllStandardOutput().trimmed().toDouble(&ok) : 0;
        if (!ok) {
            state.SkipWithError("the child printed no time");
            return;
        }
        state.SetIterationTime(ms / 1e3);
    }
}

// Clock ticks of user and system time the process has used so far.
long cpuTicks(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

// The real program started with a model chosen, and a user at the display: clicks in its
// dialog, waits for its picture to stop changing. A step that does not happen skips the
// benchmark and ends the program; so does the end of the object.
class ProgramAtDisplay {
public:
    ProgramAtDisplay(benchmark::State& state, const char* model) : state_(state) {
        if (!x_.connected()) {
            fail("no X display");
            return;
        }
        const QByteArray other = qgetenv("CELSHADE_PROGRAM");
        program_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program_.start(other.isEmpty() ? QStringLiteral(CELSHADE_RUNTIME_DIR "/celshade") : QString::fromLocal8Bit(other),
                       {QString::fromStdString(modelPath(model))});
        dialog_ = x_.waitForWindow(kDialogWidth, kDialogHeight, 20000);
        if (!dialog_) fail("the dialog did not appear");
    }
    ~ProgramAtDisplay() {
        program_.kill();
        program_.waitForFinished(5000);
    }

    bool ok() const { return ok_; }
    qint64 pid() const { return program_.processId(); }
    // Twips of the dialog's client area, as its layout gives them.
    void click(int left, int top, int width, int height) {
        if (ok_) x_.click(dialog_->topLeft() + QPoint((left + width / 2) / 15, (top + height / 2) / 15));
    }
    void clickStar() { click(240, 840, 1095, 495); }
    void clickBox() { click(1680 + 1320, 120 + 1200, 855, 375); }
    // Until two grabs of the render window a tenth of a second apart are the same, and then a
    // second more.
    void waitForSteadyPicture() {
        if (!ok_) return;
        render_ = x_.waitForWindow(Form1::kClientWidth, Form1::kClientHeight, 60000);
        QImage before;
        const bool steady = render_ && X11Session::waitFor([&] {
            const QImage now = x_.grab(*render_);
            const bool same = now == before && now.pixel(2, now.height() - 3) == (0xFF000000u | recipe::backgroundColour());
            before = now;
            return same;
        }, 60000);
        if (!steady) fail("the picture did not settle");
        QThread::sleep(1);
    }

private:
    static constexpr int kDialogWidth = 286, kDialogHeight = 204;

    void fail(const char* why) {
        if (ok_) state_.SkipWithError(why);
        ok_ = false;
    }

    benchmark::State& state_;
    X11Session x_;
    QProcess program_;
    std::optional<QRect> dialog_, render_;
    bool ok_ = true;
};

// A field of /proc/PID/status in megabytes (VmRSS: resident now, VmHWM: the peak so far).
double statusMegabytes(qint64 pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return std::stod(line.substr(field.size() + 1)) / 1024.0;
    return 0;
}

// The real program with the rose, measured once its picture has stopped changing.
void BM_IdleCpu(benchmark::State& state) {
    double percent = 0;
    for (auto _ : state) {
        ProgramAtDisplay program(state, "doom3.x");
        program.clickStar();
        program.waitForSteadyPicture();
        if (!program.ok()) return;
        const long ticks = cpuTicks(program.pid());
        QThread::sleep(kSecondsIdle);
        percent = 100.0 * double(cpuTicks(program.pid()) - ticks) / double(sysconf(_SC_CLK_TCK)) / kSecondsIdle;
        state.SetIterationTime(kSecondsIdle);
    }
    state.counters["cpu_percent"] = percent;
}

// Resident memory three seconds after the dialog appeared, with the model on screen, then with
// the box after it (a smaller model than any other), and the peak.
void BM_ResidentMemory(benchmark::State& state, const char* model) {
    for (auto _ : state) {
        ProgramAtDisplay program(state, model);
        QThread::sleep(3);
        state.counters["dialog_MB"] = statusMegabytes(program.pid(), "VmRSS");
        program.clickStar();
        program.waitForSteadyPicture();
        state.counters["on_screen_MB"] = statusMegabytes(program.pid(), "VmRSS");
        program.clickBox();
        program.clickStar();
        program.waitForSteadyPicture();
        state.counters["box_after_MB"] = statusMegabytes(program.pid(), "VmRSS");
        state.counters["peak_MB"] = statusMegabytes(program.pid(), "VmHWM");
        if (!program.ok()) return;
        state.SetIterationTime(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kFirstStarFlag) == 0) return firstStarChild(argv[2]);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("render_bench needs an X display (run it under xvfb-run -a)");
        return 0;
    }
    QApplication app(argc, argv);
    ui::installQtEventProcessing();
    Mdx8::setDataDirectory(CELSHADE_SOURCE_DIR "/data");
    useBuiltImporter();
    for (const char* model : kModels) {
        benchmark::RegisterBenchmark((std::string("MainLoopPass/") + model).c_str(), BM_MainLoopPass, model)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("LaterStar/") + model).c_str(), BM_LaterStar, model)
            ->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("FirstStar/") + model).c_str(), BM_FirstStar, model)
            ->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("LaterStar/rose.glb", BM_LaterStar, kImportedRose)
        ->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FirstStar/rose.glb", BM_FirstStar, kImportedRose)
        ->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("IdleCpu/doom3.x", BM_IdleCpu)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
    for (const char* model : {"doom3.x", "doom5.x"})
        benchmark::RegisterBenchmark((std::string("ResidentMemory/") + model).c_str(), BM_ResidentMemory, model)
            ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rt::endProcessNow(0);  // the window and device go with the process, as in the program
}
