// The pictures of the window in docs/: made on request only, with
// TAVRIX_SCREENSHOTS=<folder>, in both languages under a light and a dark
// palette, after a scan of a padded file.
#include <QApplication>
#include <QPalette>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/status_texts.h"
#include "tests/qt/qt_driver.h"
#include "tests/temp_dir.h"

namespace {

QPalette dark_palette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

TEST(Screenshots, BothLanguagesLightAndDark) {
    const char* folder = std::getenv("TAVRIX_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "set TAVRIX_SCREENSHOTS to a folder to make them";
    TempDir dir;
    const std::string path = dir.file("firmware.bin");
    write_file(path, "data" + std::string(1 << 20, '\0'));
    const QPalette light = QApplication::palette();
    for (const Language language : {Language::Japanese, Language::English}) {
        for (const bool darkMode : {false, true}) {
            QApplication::setPalette(darkMode ? dark_palette() : light);
            QtWindowDriver window(language);
            window.type("Edit1", path);
            window.selectPage(1);
            window.click("Button1");
            window.pump();
            const std::string name = std::string(folder) + "/window-qt-" +
                                     (language == Language::Japanese ? "ja" : "en") + (darkMode ? "-dark" : "") + ".png";
            EXPECT_TRUE(window.form().grab().save(QString::fromStdString(name))) << name;
        }
    }
    QApplication::setPalette(light);
}

}  // namespace
