// The main window in Qt 6 Widgets: built from the layout table (app/layout.h)
// at fixed pixel positions, each event wired to its toolkit-free handler, and
// the View operations the handlers use.
#pragma once

#include <QMainWindow>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/edit1_path.h"
#include "app/scan_busy.h"
#include "app/view.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QShowEvent;
class QPushButton;
class QTabWidget;

class TForm1 : public QMainWindow, public View {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    std::string editText(EditId edit) const override;
    void setEdit1Text(const std::string& path) override;
    void setLabelCaption(LabelId label, const std::string& caption) override;
    bool isCheckBox1Checked() const override;
    int padChoiceIndex() const override;
    void setProgress(int position) override;
    void setStatusText(const std::string& text) override;
    void processPendingEvents() override;
    bool closeRequested() const override;
    bool scanCancelRequested() const override;
    void focusScanButton() override;
    void setCommandsEnabled(bool enabled) override;
    Dialogs& dialogs() override;

    // The real dialogs are modal and would stall an automated run; tests put
    // stand-ins here. Null restores the real ones.
    void setDialogs(Dialogs* replacement);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void connectEvents();
    void FormCreate();
    void centreOnScreen();

    // Looks a control of the layout up by name, as the type it was built as.
    template <class Widget>
    Widget* built(std::string_view name) const;

    // The unit fields Edit5 to Edit8, which act alike.
    std::array<QLineEdit*, 4> unitFields() const;

    // Every control of the layout table, by name; the ones used most also
    // by their own.
    std::map<std::string, QWidget*, std::less<>> controls_;
    QAction* E1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* statusText = nullptr;

    // The exact bytes behind the readable text Edit1 shows.
    ExactPath edit1Path_;
    bool closeRequested_ = false;
    ScanBusyState scan_;
    bool shownBefore_ = false;
    std::unique_ptr<Dialogs> nativeDialogs_;
    Dialogs* dialogs_ = nullptr;
};
