// The pictures of the window in docs/: made on request only, with
// TAVRIX_SCREENSHOTS=<folder>, in both languages under a light and a dark
// palette, after a scan of a padded file.
#include <QApplication>
#include <QPalette>
#include <QPixmap>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <thread>
#include <string>

#include "app/background_change.h"
#include "app/status_texts.h"
#include "size/growth.h"
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

// The window while Execute grows a file on a card that writes every zero
// (stand-in answers; each step waits for the window to look once more).
TEST(Screenshots, DuringLongWork) {
    const char* folder = std::getenv("TAVRIX_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "set TAVRIX_SCREENSHOTS to a folder to make them";
    TempDir dir;
    std::atomic<int> looks{0};
    osd_set_growth_answer(OsdGrowth{true, true, std::numeric_limits<std::int64_t>::max(), std::int64_t{1} << 40});
    set_growth_step_seam([&] {
        for (const int before = looks.load(); looks.load() == before;) std::this_thread::yield();
    });
    BackgroundChangeSeams.progressDelay = {};
    for (const Language language : {Language::Japanese, Language::English}) {
        QtWindowDriver window(language);
        const std::string name = std::string(folder) + "/window-qt-" +
                                 (language == Language::Japanese ? "ja" : "en") + "-working.png";
        BackgroundChangeSeams.onLook = [&](std::int64_t done, std::int64_t total) {
            if (++looks != 12) return;
            EXPECT_TRUE(window.form().grab().save(QString::fromStdString(name))) << name << " " << done << "/" << total;
            window.pressEscape();
        };
        window.type("Edit1", dir.file("card.bin"));
        window.type("Edit6", "128");
        window.execute();
        looks = 0;
    }
    osd_set_growth_answer(std::nullopt);
    set_growth_step_seam(nullptr);
    BackgroundChangeSeams = {};
}

}  // namespace
