#pragma once
// The start dialog: the first window of the program. The user picks one of five models, types
// the crease threshold, starts (and later restarts) the render window, watches the edge-list
// build as a percentage and ends the program. It stays usable the whole run: once the render
// window runs, its handlers run re-entrantly inside the main loop's event step.

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QButtonGroup;
class QCloseEvent;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// Everything the dialog calls outside itself. The program uses `program()`; tests put their
// own functions in so that the dialog runs without a render window or a process exit.
struct Form2Links {
    // Shows the render window the first time; loading it runs the main loop, so it does not
    // return while the program runs.
    std::function<void()> showRenderWindow;
    // Rebuilds the render window's scene for the current model and threshold.
    std::function<void()> restartScene;
    // Releases the graphics objects; ends the process when its flag is true.
    std::function<void(bool endProgram)> shutdown;
    // Ends the process at once.
    std::function<void()> endProgram;

    // The render window, Mdx8::shutdown and the real process exit. Defined apart from the
    // dialog so that linking the dialog alone does not bring the render window in.
    static Form2Links program();
};

class Form2 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 286;   // 4290 twips
    static constexpr int kClientHeight = 204;  // 3060 twips
    static constexpr int kTimerIntervalMs = 55;

    // The program passes Form2Links::program().
    explicit Form2(Form2Links links, QWidget* parent = nullptr);

    // True once STAR has started the render window; nothing resets it.
    bool renderStarted() const { return renderStarted_; }

    // Chooses a model of the user's own (made a full path) for the next STAR; no option
    // button stays checked, and Open shows the file's name. The command line, the file
    // chooser and a drop all choose through this.
    void selectModelFile(const std::string& path);

    // The file chooser (Open, or Ctrl+O in either window): models of every format the program
    // reads, in the folder last used. It does not hold up the program: the windows keep
    // drawing while it is open, and a chosen file becomes the model of the next STAR.
    void openModelChooser();
    // Where the chooser opens: the folder last chosen from (kept between runs), else the home
    // folder.
    static QString lastModelFolder();
    // "Models (*.x *.glb ...)" with the extensions given, then "All files (*)".
    static QString modelFilter(const QStringList& extensions);

protected:
    void closeEvent(QCloseEvent* event) override;
    // A local file dropped on any window of the program is chosen, and started as with the
    // STAR button once the drop has been answered (a press during a scene setup is served
    // after it).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createModelChoice();
    void createOpenButton();
    void showChosenModel();
    bool isOpenShortcut(const QEvent* event) const;
    void chainTabOrder();
    void updateOptionTabStop();
    void connectEvents();
    void storeThreshold();

    void Form_Load();
    void Option1_Click(int index);
    void Text1_Change();
    void Timer1_Timer();
    void STAR_Click();
    void Command1_Click();

    Form2Links links_;
    bool renderStarted_ = false;

    QLabel* Label1 = nullptr;
    QPushButton* STAR = nullptr;
    QPushButton* Command1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    std::array<QRadioButton*, 5> Option1{};
    QButtonGroup* option1Group_ = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* Open = nullptr;
    QPointer<QFileDialog> chooser_;
    QStringList importerExtensions_;  // asked of the importer the first time the chooser opens
};
