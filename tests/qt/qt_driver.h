// The Qt window under the shared scenarios, and what the Qt-only tests need
// to reach behind it: the form and its controls by layout name.
#pragma once

#include <QPoint>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "tests/window/window_driver.h"

class QAction;
class QLabel;
class QMimeData;
class QWidget;

class QtWindowDriver final : public WindowDriver {
public:
    explicit QtWindowDriver(Language language = Language::Japanese);
    ~QtWindowDriver() override;

    TForm1& form() { return form_; }
    // The control of that layout name (the pages included); null if none.
    QWidget* widget(const std::string& name);
    QAction* executeAction();
    QLabel* statusLabel();
    // Window coordinates of a point in the client area, where nothing sits.
    QPoint emptySpot();
    // A file manager's drag of these exact path bytes.
    static std::unique_ptr<QMimeData> filesMime(const std::vector<std::string>& paths);

    View& view() override { return form_; }
    void setDialogs(Dialogs* dialogs) override { form_.setDialogs(dialogs); }
    void type(const std::string& control, const std::string& utf8) override;
    void click(const std::string& control) override;
    void execute() override;
    void selectPage(int index) override;
    bool drop(const std::vector<std::string>& paths) override;
    void requestClose() override;
    void pressEscape() override;
    void choose(const std::string& control, int index) override;
    void pump() override;
    std::string text(const std::string& control) override;
    std::string statusText() override;
    int progress() override;
    bool isEnabled(const std::string& control) override;
    bool isEditable(const std::string& control) override;
    Bounds bounds(const std::string& control) override;
    std::string parentName(const std::string& control) override;
    bool showsWholeText(const std::string& label) override;

private:
    StartLanguage language_;  // before the form: it is built in this language
    TForm1 form_;
};
