// The main window in Qt 6 Widgets: controls placed at fixed pixel positions,
// each event wired to its toolkit-free handler, and the View operations the
// handlers use.
#pragma once

#include <QMainWindow>

#include <functional>
#include <optional>
#include <string>

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
    void setEdit1Text(const std::string& text) override;
    void setLabelCaption(LabelId label, const std::string& caption) override;
    bool isCheckBox1Checked() const override;
    void setProgress(int position) override;
    void setStatusText(const std::string& text) override;
    void processPendingEvents() override;
    bool closeRequested() const override;
    void setCommandsEnabled(bool enabled) override;
    void showMessage(const std::string& text) override;
    std::optional<std::string> chooseFolder(const std::string& title,
                                            const std::string& initialFolder) override;
    void* nativeHandle() const override;

    // The real dialogs are modal and would stall an automated run; tests put
    // stand-ins here. An empty function restores the real dialog.
    using MessageBoxFunction = std::function<void(const std::string& text)>;
    using FolderChooserFunction = std::function<std::optional<std::string>(
        const std::string& title, const std::string& initialFolder)>;
    void setMessageBoxForTesting(MessageBoxFunction messageBox);
    void setFolderChooserForTesting(FolderChooserFunction folderChooser);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void connectEvents();
    void FormCreate();
    void centreOnScreen();

    QLineEdit* edit(EditId id) const;
    QLabel* label(LabelId id) const;

    QAction* E1 = nullptr;
    QPushButton* Button3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QPushButton* Button1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* statusText = nullptr;

    bool closeRequested_ = false;
    bool shownBefore_ = false;
    MessageBoxFunction messageBox_;
    FolderChooserFunction folderChooser_;
};

// The one main window while the event loop runs; null before and after.
extern TForm1* Form1;
