// End-to-end scenarios of quaxel-render as the program's companion: a view
// saved in the real program with F2 renders, through --ini/--view, into the
// very file the program's Bitmap Export writes; its PNG holds the same
// colours; a zoom movie to it starts and ends at the views it names and
// zooms geometrically in between.
#include <windows.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Harness.h"
#include "HostPath.h"
#include "navigation/NavigationMath.h"
#include "resources/rcinc.h"

namespace e2e {
namespace {

// The renderer's exit code, or -1 when it could not start or outlived the
// deadline (it is then ended). What it printed goes into `log`.
int RunRenderer(const std::string& arguments, const std::string& log, DWORD ms = 120000) {
    const std::string exe = WindowsPathOf(QUAXEL_RENDER_EXE_PATH);
    std::string line = "\"" + exe + "\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &info);
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (!started) {
        ADD_FAILURE() << "cannot start " << line;
        return -1;
    }
    CloseHandle(info.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(info.hProcess, Scaled(ms)) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, Scaled(kDeadlineMs));
        ADD_FAILURE() << "did not finish in time: " << line;
    } else {
        GetExitCodeProcess(info.hProcess, &code);
    }
    CloseHandle(info.hProcess);
    if (code != 0) ADD_FAILURE() << line << " printed:\n" << ReadFileText(log);
    return static_cast<int>(code);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// A host folder for this suite's files, and the same folder as Windows sees it.
std::string HostScratch() {
    const char* scratch = std::getenv("QUAXEL_E2E_SCRATCH");
    const std::string folder = std::string(scratch ? scratch : "/tmp/quaxel-e2e-scratch") + "/companion";
    RunUnix("mkdir -p " + folder);
    return folder;
}

// The saved view's last escape count. Its image is computed by the program
// and then again by every renderer run (twice the BMP and PNG, once more a
// movie's last frame), so it stays low: under the 32-bit emulation each
// hundred iterations of this view cost seconds per run. Its escape counts
// still run from 33 to 95, a picture with no two neighbouring bands alike.
constexpr int kSavedIterEnd = 96;

class RenderCompanion : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.started()) << program.failure();
        ASSERT_FALSE(program.WaitReady().empty()) << "status: " << program.Status();
    }

    // The typed view the program computes and the user saves with F2; its
    // texts are stored exactly, so the saved view is the computed one.
    void ComputeAndSaveView() {
        program.Command(CM_RANGE);
        HWND range = program.Dialog("Range");
        ASSERT_NE(range, nullptr);
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MIN, "-0.7485"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MAX, "-0.7445"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MIN, "0.1"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MAX, "0.103"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_START, "32"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_INC, "32"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_END, std::to_string(kSavedIterEnd)));
        ASSERT_TRUE(Press(range, IDOK));
        ASSERT_TRUE(WaitClosed(range)) << "OK was refused";
        ASSERT_FALSE(program.WaitRecalculated().empty()) << "status: " << program.Status();

        ASSERT_TRUE(program.Activate());
        ASSERT_TRUE(Key("F2"));
        HWND save = program.Dialog("Save Co-ordinates");
        ASSERT_NE(save, nullptr) << "F2 opened no Save dialog";
        ASSERT_TRUE(TypeInto(save, IDC_SAVE_NAME, "Seahorse tail"));
        ASSERT_TRUE(Press(save, IDC_SAVE_OK));
        ASSERT_TRUE(WaitDestroyed(save));
        program.Status();  // answered only once the program has written the file
        ini = program.folder() + "\\quaxel.ini";
        ASSERT_NE(GetFileAttributesA(ini.c_str()), INVALID_FILE_ATTRIBUTES) << "F2 wrote no quaxel.ini";
    }

    // The program's own Bitmap Export of what it shows.
    void Export(const std::string& path) {
        program.Command(CM_EXPORT);
        HWND dialog =
            program.FindWindowOfProcess("#32770", [](const std::string& caption) { return caption == "Save As"; });
        ASSERT_NE(dialog, nullptr) << "no Save dialog";
        HWND name = GetDlgItem(dialog, edt1);
        if (!name) name = GetDlgItem(dialog, cmb13);
        ASSERT_NE(name, nullptr);
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                                        SMTO_ABORTIFHUNG, 5000, &result));
        SendMessageTimeoutA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); })) << "the Save dialog stayed open";
        ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(path).size() == 1078u + 400u * 300u; })) << path;
    }

    void TearDown() override {
        if (HasFailure()) Screenshot(testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    Program program;
    std::string ini;
};

TEST_F(RenderCompanion, SavedViewRendersAsTheProgramExportsIt) {
    ASSERT_NO_FATAL_FAILURE(ComputeAndSaveView());
    const std::string exported = program.folder() + "\\exported.bmp";
    ASSERT_NO_FATAL_FAILURE(Export(exported));
    const std::vector<uint8_t> programs = ReadFileBytes(exported);

    const std::string host = HostScratch();
    const std::string bmp = WindowsPathOf((host + "/saved.bmp").c_str());
    const std::string log = WindowsPathOf((host + "/render.log").c_str());
    ASSERT_EQ(RunRenderer("--ini " + Quoted(ini) + " --view \"Seahorse tail\" " + Quoted(bmp), log), 0);
    EXPECT_NE(ReadFileText(log).find("Numeric type: FPU Single (the program's default)"), std::string::npos)
        << ReadFileText(log);
    EXPECT_TRUE(ReadFileBytes(bmp) == programs) << "the saved view renders otherwise than the program exports it";

    // The PNG of the same view, decoded by ImageMagick, has the BMP's colours.
    const std::string png = WindowsPathOf((host + "/saved.png").c_str());
    ASSERT_EQ(RunRenderer("--ini " + Quoted(ini) + " --view \"Seahorse tail\" " + Quoted(png), log), 0);
    ASSERT_TRUE(RunUnix("convert " + host + "/saved.png -depth 8 rgb:" + host + "/saved.rgb"));
    const std::vector<uint8_t> rgb = ReadFileBytes(WindowsPathOf((host + "/saved.rgb").c_str()));
    ASSERT_EQ(rgb.size(), 400u * 300u * 3u);
    Bmp image;
    image.bytes = programs;
    int differ = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const uint8_t* p = &rgb[3 * (static_cast<size_t>(y) * 400 + x)];
            differ += ((uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]) != image.Colour(x, y);
        }
    EXPECT_EQ(differ, 0) << "PNG pixels differ from the program's BMP";
}

// Three frames from the start range to the saved view: the first is the
// program's start image, the last its image of the saved view, and the
// middle one shows the geometric mean of their sizes about the zoom's fixed
// point, computed as a single image of that view.
TEST_F(RenderCompanion, MovieRunsFromTheStartToTheSavedView) {
    ASSERT_NO_FATAL_FAILURE(ComputeAndSaveView());
    const std::string exported = program.folder() + "\\exported.bmp";
    ASSERT_NO_FATAL_FAILURE(Export(exported));

    const std::string host = HostScratch();
    RunUnix("rm -rf " + host + "/frames && mkdir -p " + host + "/frames");
    const std::string pattern = WindowsPathOf((host + "/frames").c_str()) + "\\f%02d.bmp";
    const std::string log = WindowsPathOf((host + "/movie.log").c_str());
    ASSERT_EQ(RunRenderer("--ini " + Quoted(ini) + " --zoom-to \"Seahorse tail\" --frames 3 " + Quoted(pattern), log), 0);
    EXPECT_NE(ReadFileText(log).find("Frames: 3 written"), std::string::npos) << ReadFileText(log);
    auto frame = [&](int n) { return ReadFileBytes(WindowsPathOf((host + "/frames/f0" + std::to_string(n) + ".bmp").c_str())); };
    EXPECT_TRUE(frame(0) == StartView().image.bytes) << "the first frame is not the program's start image";
    EXPECT_TRUE(frame(2) == ReadFileBytes(exported)) << "the last frame is not the program's image of the saved view";

    CoordinateSet target, start;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadSavedView(ini, "Seahorse tail", target, warnings, error)) << error;
    EXPECT_TRUE(warnings.empty());
    start = target;
    SetStartRange(start);
    const CoordinateSet middle = MovieFrameView(start, target, 1, 3);
    const long double w0 = start.RealMax - start.RealMin, w1 = target.RealMax - target.RealMin;
    const long double w = middle.RealMax - middle.RealMin;
    EXPECT_NEAR(static_cast<double>(w / std::sqrt(w0 * w1)), 1.0, 1e-12);
    // The centre keeps the fixed point p of the zoom: c - p = (c0 - p) w / w0.
    const long double k = w1 / w0;
    const long double c0 = (start.RealMin + start.RealMax) / 2, c1 = (target.RealMin + target.RealMax) / 2;
    const long double p = (c1 - k * c0) / (1 - k);
    EXPECT_NEAR(static_cast<double>((middle.RealMin + middle.RealMax) / 2 - p), static_cast<double>((c0 - p) * w / w0),
                1e-12);
    EXPECT_EQ(middle.IterEnd, static_cast<int32_t>(std::lround(std::sqrt(256.0 * kSavedIterEnd))));

    RenderOptions view;
    view.realMin = middle.RealMin;
    view.realMax = middle.RealMax;
    view.imagMin = middle.ImagMin;
    view.imagMax = middle.ImagMax;
    view.iterStart = middle.IterStart;
    view.iterInc = middle.IterInc;
    view.iterEnd = middle.IterEnd;
    EXPECT_TRUE(frame(1) == RenderView(view).image.bytes) << "the middle frame is not a single image of its view";
}

}  // namespace
}  // namespace e2e
