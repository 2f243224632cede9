// Open: a model of the user's own, chosen in a file chooser. The button sits in the model
// frame's free cell, beside the rose; once a file is chosen it carries the file's name and
// stands pressed for as long as that file is the model of the next STAR.

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyle>

#include <cmath>

#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "dialog/Form2.h"
#include "import/ImportProcess.h"
#include "ui/ErrorReport.h"
#include "ui/Twips.h"

namespace {

constexpr const char* kOpenCaption = "打开…";
constexpr const char* kLastFolderKey = "models/lastFolder";

QSettings settings() { return QSettings(QStringLiteral("celshade"), QStringLiteral("celshade")); }

// In Frame1's free cell, the rose's row of the right-hand column, as wide as the frame allows.
QRect openButtonPlace() {
    const auto px = [](int twips) { return static_cast<int>(std::lround(twips / double{ui::kTwipsPerPixel})); };
    return QRect(px(1320), px(2040), px(975), px(375));
}

}  // namespace

void Form2::createOpenButton() {
    Open = new QPushButton(QString::fromUtf8(kOpenCaption), Frame1);
    Open->setObjectName(QStringLiteral("Open"));
    Open->setGeometry(openButtonPlace());
    Open->setCheckable(true);
    connect(Open, &QPushButton::clicked, this, [this] {
        showChosenModel();  // a click toggles it; it shows the choice, not the click
        openModelChooser();
    });
    showChosenModel();
}

// Pressed, with the file's name, while a file of the user's is the model of the next STAR.
void Form2::showChosenModel() {
    const bool chosen = Mdx8::chosenByUser(Mdx8::modelFile) && !Mdx8::modelFile.empty();
    const QString path = QString::fromStdString(Mdx8::modelFile);
    const QString name = chosen ? QFileInfo(path).fileName() : QString::fromUtf8(kOpenCaption);
    const int room = Open->width() - 2 * Open->style()->pixelMetric(QStyle::PM_ButtonMargin);
    Open->setText(Open->fontMetrics().elidedText(name, Qt::ElideMiddle, room));
    Open->setChecked(chosen);
    Open->setToolTip(chosen ? path + QStringLiteral("\n打开其他模型… (Ctrl+O)") : QStringLiteral("打开模型… (Ctrl+O)"));
}

bool Form2::isOpenShortcut(const QEvent* event) const {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->key() == Qt::Key_O && key->modifiers() == Qt::ControlModifier;
}

QString Form2::lastModelFolder() {
    const QString folder = settings().value(QString::fromLatin1(kLastFolderKey)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

QString Form2::modelFilter(const QStringList& extensions) {
    QStringList patterns{QStringLiteral("*.x")};
    for (const QString& extension : extensions)
        if (!patterns.contains(QStringLiteral("*.") + extension)) patterns << QStringLiteral("*.") + extension;
    return QStringLiteral("模型 Models (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(");;所有文件 All files (*)");
}

void Form2::openModelChooser() {
    if (chooser_) {
        chooser_->raise();
        chooser_->activateWindow();
        return;
    }
    if (importerExtensions_.isEmpty())
        for (const std::string& extension : modelimport::importerExtensions())
            importerExtensions_ << QString::fromStdString(extension);
    chooser_ = new QFileDialog(this, QStringLiteral("打开模型 Open model"), lastModelFolder(),
                               modelFilter(importerExtensions_));
    chooser_->setObjectName(QStringLiteral("modelChooser"));
    chooser_->setAttribute(Qt::WA_DeleteOnClose);
    chooser_->setFileMode(QFileDialog::ExistingFile);
    chooser_->setAcceptMode(QFileDialog::AcceptOpen);
    connect(chooser_, &QFileDialog::fileSelected, this, [this](const QString& file) {
        QSettings kept = settings();
        kept.setValue(QString::fromLatin1(kLastFolderKey), QFileInfo(file).absolutePath());
        selectModelFile(file.toStdString());
    });
    connect(chooser_, &QDialog::finished, this, [this] { chooser_ = nullptr; });
    // Window-modal, not application-modal, and without an event loop of its own: the render
    // window goes on drawing, and a scene setup in progress goes on with it.
    chooser_->open();
}
