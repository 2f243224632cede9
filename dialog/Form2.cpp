#include "dialog/Form2.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <string>

#include "d3dsupport/Mdx8.h"
#include "dialog/ProgressReadout.h"
#include "edges/Module1.h"
#include "runtime/Rounding.h"
#include "runtime/Val.h"
#include "ui/ErrorReport.h"
#include "ui/Twips.h"

namespace {

// The layout is kept in twips (see ui/Twips.h).
struct Twips {
    int left, top, width, height;
};

// A size that is no whole number of pixels (Text1's 280 twips) goes to the nearest one.
QRect toPixels(Twips t) {
    auto px = [](int twips) { return rt::roundToInt32(twips / double{ui::kTwipsPerPixel}); };
    return QRect(px(t.left), px(t.top), px(t.width), px(t.height));
}

struct ModelChoice {
    const char* caption;
    Twips place;  // inside Frame1
};

// Indexed like Option1: index i selects model file doom<i+1>.x.
constexpr ModelChoice kModelChoices[5] = {
    {"机器人", {240, 480, 855, 375}},
    {"花", {240, 1200, 855, 375}},
    {"玫瑰", {240, 2040, 855, 375}},
    {"天文仪", {1320, 480, 855, 375}},
    {"盒子", {1320, 1200, 855, 375}},
};

// The readout is set in SimSun (a GB2312 face), 15 pt bold; where it is missing the first
// installed CJK face takes its place. Qt text is Unicode, so no character set is chosen.
QFont readoutFont() {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Droid Sans Fallback")});
    font.setPointSize(15);
    font.setBold(true);
    return font;
}

template <typename Widget>
Widget* place(Widget* widget, const char* name, Twips where) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(toPixels(where));
    return widget;
}

// The first local file a drag carries that is a file (not a folder); empty when there is none.
QString droppedFile(const QMimeData* data) {
    if (data == nullptr) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) return url.toLocalFile();
    return {};
}

}  // namespace

Form2::Form2(Form2Links links, QWidget* parent) : QWidget(parent, Qt::Window), links_(std::move(links)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("celshade"));
    setFixedSize(kClientWidth, kClientHeight);
    createControls();
    chainTabOrder();
    connectEvents();
    STAR->setFocus();
    Timer1->start();
    Form_Load();
    // Drops reach the render window too, which knows nothing of the model choice.
    QCoreApplication::instance()->installEventFilter(this);
}

void Form2::createControls() {
    Label1 = place(new QLabel(QStringLiteral("Label1"), this), "Label1", {240, 240, 975, 375});
    Label1->setFont(readoutFont());
    Label1->setVisible(false);
    STAR = place(new QPushButton(QStringLiteral("STAR"), this), "STAR", {240, 840, 1095, 495});
    Command1 = place(new QPushButton(QStringLiteral("EXIT"), this), "Command1", {240, 1560, 1095, 495});
    Frame1 = place(new QGroupBox(this), "Frame1", {1680, 120, 2415, 2775});
    createModelChoice();
    createOpenButton();
    Text1 = place(new QLineEdit(QStringLiteral("0.5"), this), "Text1", {720, 2400, 375, 280});
    Label2 = place(new QLabel(QStringLiteral("阀值"), this), "Label2", {240, 2520, 495, 255});
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerIntervalMs);
}

// Created in the order of their tab indices, highest index first.
void Form2::createModelChoice() {
    option1Group_ = new QButtonGroup(this);
    option1Group_->setExclusive(true);
    for (int index = 4; index >= 0; --index) {
        const ModelChoice& choice = kModelChoices[index];
        const std::string name = "Option1_" + std::to_string(index);
        Option1[index] = place(new QRadioButton(QString::fromUtf8(choice.caption), Frame1), name.c_str(),
                               choice.place);
        option1Group_->addButton(Option1[index], index);
    }
    Option1[0]->setChecked(true);
    updateOptionTabStop();
}

// As in desktop dialogs generally, the option group is one tab stop, entered at the chosen
// model; the arrow keys move within it.
void Form2::updateOptionTabStop() {
    for (QRadioButton* option : Option1) {
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void Form2::chainTabOrder() {
    QWidget* order[] = {STAR, Command1, Option1[4], Option1[3], Option1[2], Option1[1], Option1[0], Open, Text1};
    for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form2::connectEvents() {
    connect(option1Group_, &QButtonGroup::idClicked, this, &Form2::Option1_Click);
    connect(option1Group_, &QButtonGroup::idToggled, this, &Form2::updateOptionTabStop);
    connect(Text1, &QLineEdit::textChanged, this, &Form2::Text1_Change);
    connect(Timer1, &QTimer::timeout, this, &Form2::Timer1_Timer);
    connect(STAR, &QPushButton::clicked, this, &Form2::STAR_Click);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
}

// The readout divides by numFaces before any mesh is loaded, hence the 1.
void Form2::Form_Load() {
    ui::runGuarded([this] {
        storeThreshold();
        Mdx8::sceneMesh.numFaces = 1;
        Mdx8::modelFile = "\\doom1.x";
    });
}

void Form2::Option1_Click(int index) {
    ui::runGuarded([this, index] {
        Mdx8::modelFile = "\\doom" + std::to_string(index + 1) + ".x";
        showChosenModel();
    });
}

// Every keystroke stores a value, whatever was typed; the next build reads it.
void Form2::Text1_Change() {
    ui::runGuarded([this] { storeThreshold(); });
}

// Any text reads as some number and any number saturates into the float, so typing never fails.
void Form2::storeThreshold() {
    Module1::threshold = rt::toSingleSaturated(rt::val(Text1->text().toStdString()));
}

// While the importer reads a model the readout says so; the percentage of the edge list
// follows.
void Form2::Timer1_Timer() {
    ui::runGuarded([this] {
        if (Mdx8::readingModel) {
            Label1->setText(QStringLiteral("读取中"));
            return;
        }
        const std::string readout = dialog::progressReadout(Module1::edgeProgress, Mdx8::sceneMesh.numFaces);
        Label1->setText(QString::fromStdString(readout));
    });
}

// The first show never comes back here (the render window runs its main loop inside it), so
// renderStarted is set before it: every later press, the second included, rebuilds the scene.
void Form2::STAR_Click() {
    ui::runGuarded([this] {
        Label1->setVisible(true);
        if (!renderStarted_) {
            renderStarted_ = true;
            links_.showRenderWindow();
        } else {
            links_.restartScene();
        }
    });
}

// Closing asks for shutdown, which ends the process; should it come back, end it here.
void Form2::Command1_Click() {
    ui::runGuarded([this] {
        close();
        links_.endProgram();
    });
}

void Form2::selectModelFile(const std::string& path) {
    ui::runGuarded([&] {
        Mdx8::modelFile = std::filesystem::absolute(path).string();
        option1Group_->setExclusive(false);
        for (QRadioButton* option : Option1) option->setChecked(false);
        option1Group_->setExclusive(true);
        showChosenModel();
    });
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched->isWindowType() && isOpenShortcut(event)) {
        openModelChooser();
        return true;
    }
    if (!watched->isWindowType() || (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
        return QWidget::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const QString file = droppedFile(drop->mimeData());
    if (file.isEmpty()) return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        selectModelFile(file.toStdString());
        // Started once this handler has returned, so that the drag source has its answer
        // first: the first STAR never returns, and a later one runs for the whole setup.
        QMetaObject::invokeMethod(this, &Form2::STAR_Click, Qt::QueuedConnection);
    }
    return true;
}

void Form2::closeEvent(QCloseEvent* event) {
    ui::runGuarded([this] { links_.shutdown(true); });
    event->accept();
}
