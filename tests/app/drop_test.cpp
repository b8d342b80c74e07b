#include <gtest/gtest.h>

#include "app/form.h"
#include "app/handlers.h"
#include "tests/app/fake_view.h"
#include "size/output_size.h"
#include "tests/temp_dir.h"
#include "tests/trace_capture.h"

namespace {

TEST(Drop, FirstFileGivesPathAndGroupedSize) {
    TempDir dir;
    const std::string first = dir.file("ダンプ.bin");
    const std::string second = dir.file("b.bin");
    write_file(first, std::string(1234567, 'a'));
    write_file(second, "bb");
    FakeView view;
    OutputSize = 42;
    view.labels[LabelId::Label4] = "42";
    TraceCapture trace;
    WMDropFiles(view, {first, second, dir.path()});
    EXPECT_EQ(trace.text(), "osd_filesize name-> " + first + "\n");
    EXPECT_EQ(view.editText(EditId::Edit1), first);
    EXPECT_EQ(view.labels[LabelId::Label1], "1,234,567");
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(42));
    EXPECT_EQ(view.labels[LabelId::Label4], "42");
    EXPECT_EQ(view.labels[LabelId::Label5], "0");
    EXPECT_EQ(view.labels[LabelId::Label9], "0");
}

TEST(Drop, UnreadablePathStillLandsInEdit1) {
    TempDir dir;
    FakeView view;
    TraceCapture trace;
    WMDropFiles(view, {dir.path()});
        EXPECT_EQ(view.editText(EditId::Edit1), dir.path());
    EXPECT_EQ(view.labels[LabelId::Label1], "-1");
}

}  // namespace
