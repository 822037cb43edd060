#include "form2_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "capture_info.h"
#include "form2_texts.h"

namespace tqk::test {
namespace {

using namespace tqk::rec;

Form2Values FilledWindow() {
    Form2Values v;
    v.Combo1 = SoundFormatEntries(0xFFF);
    v.Combo1Index = 0;
    v.Combo2Count = 3;
    for (const PriorityEntry& e : PriorityEntries(true)) v.Combo3Classes.push_back(e.Class);
    v.Combo3Index = 0;
    return v;
}

TEST(Form2Model, SliderLabels) {
    struct Case {
        int index;
        int32_t value;
        const char* label;
    } cases[] = {
        {0, 1, "1fps"},       {0, 100, "100fps"},    {1, 1, "1sec"},     {1, 60, "60sec"},
        {1, 61, "1:1sec"},    {1, 65, "1:5sec"},     {1, 90, "1:30sec"}, {1, 120, "2:0sec"},
        {1, 3600, "60:0sec"}, {1, 3599, "59:59sec"},
    };
    for (const Case& c : cases) EXPECT_EQ(HScroll1Label(c.index, c.value), c.label) << c.value;
    EXPECT_EQ(HScroll2Label(0, 2), "回数 2");
    EXPECT_EQ(HScroll2Label(1, 0), "時間 0");
}

TEST(Form2Model, SizeCheck) {
    const int32_t cases[][2] = {{1, 4},     {4, 4},     {321, 324}, {322, 324},
                                {323, 324}, {324, 324}, {101, 104}, {2147483647, 2147483644}};
    for (const auto& c : cases) EXPECT_EQ(SizeCheck(c[0]), c[1]) << c[0];
}

TEST(Form2Model, BoxValidation) {
    struct Case {
        int index;
        const char* text;
        std::optional<int32_t> want;
    } cases[] = {
        {2, "321", 324},
        {2, "0", std::nullopt},
        {3, "0", std::nullopt},
        {0, "-50", -50},
        {1, "-50", -50},
        {0, "abc", 0},
        {2, "abc", std::nullopt},
        {3, "1", 1},
        {3, "-3", std::nullopt},
        {2, " 12.6px", 16},
        {3, "240.4", 240},
        {3, "0.4", std::nullopt},
        {0, "99999999999", std::nullopt},
        {0, "-2147483648", INT32_MIN},
        {2, "2147483647", 2147483644},
        {1, "", 0},
        {3, "+7", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << " '" << c.text << "'");
        EXPECT_EQ(ValidateBox(c.index, c.text), c.want);
    }
}

TEST(Form2Model, TwelveSoundFormatsRichestFirst) {
    const std::vector<std::string> all = SoundFormatEntries(0xFFF);
    const std::vector<std::string> want = {
        "44.100kHz ｽﾃﾚｵ 16 ﾋﾞｯﾄ", "44.100kHz ｽﾃﾚｵ 8 ﾋﾞｯﾄ",  "44.100kHz ﾓﾉﾗﾙ 16 ﾋﾞｯﾄ",
        "44.100kHz ﾓﾉﾗﾙ 8 ﾋﾞｯﾄ",  "22.050kHz ｽﾃﾚｵ 16 ﾋﾞｯﾄ", "22.050kHz ｽﾃﾚｵ 8 ﾋﾞｯﾄ",
        "22.050kHz ﾓﾉﾗﾙ 16 ﾋﾞｯﾄ", "22.050kHz ﾓﾉﾗﾙ 8 ﾋﾞｯﾄ",  "11.025kHz ｽﾃﾚｵ 16 ﾋﾞｯﾄ",
        "11.025kHz ｽﾃﾚｵ 8 ﾋﾞｯﾄ",  "11.025kHz ﾓﾉﾗﾙ 16 ﾋﾞｯﾄ", "11.025kHz ﾓﾉﾗﾙ 8 ﾋﾞｯﾄ",
    };
    EXPECT_EQ(all, want);
    // Bits beyond the twelve (48 and 96 kHz) add nothing; none gives an empty list.
    EXPECT_EQ(SoundFormatEntries(0xFFFFF), want);
    EXPECT_TRUE(SoundFormatEntries(0).empty());
    EXPECT_TRUE(SoundFormatEntries(0xFF000).empty());
    EXPECT_EQ(SoundFormatEntries(0x001 | 0x800),
              (std::vector<std::string>{"44.100kHz ｽﾃﾚｵ 16 ﾋﾞｯﾄ", "11.025kHz ﾓﾉﾗﾙ 8 ﾋﾞｯﾄ"}));
}

TEST(Form2Model, SoundFormatsReadBack) {
    for (const SoundFormat& f : AllSoundFormats()) {
        const std::string text = SoundFormatText(f);
        SCOPED_TRACE(text);
        const SoundFormat back = ParseSoundFormat(text);
        EXPECT_EQ(back.SamplesPerSec, f.SamplesPerSec);
        EXPECT_EQ(back.Channels, f.Channels);
        EXPECT_EQ(back.BitsPerSample, f.BitsPerSample);
    }
    const SoundFormat none = ParseSoundFormat("");
    EXPECT_EQ(none.SamplesPerSec, 0);
    EXPECT_EQ(none.Channels, 1);
    EXPECT_EQ(none.BitsPerSample, 0);
}

// The priority list: first the choice that leaves the process alone, then the classes from
// the highest to the lowest; systems before NT 5 lack the two in-between classes.
TEST(Form2Model, PriorityListRunsFromHighToLow) {
    // The platform's classes from the lowest up (idle, below normal, normal, above normal,
    // high).
    const std::vector<int32_t> rising = {64, 16384, 32, 32768, 128};
    const auto rank = [&](int32_t cls) {
        const auto at = std::find(rising.begin(), rising.end(), cls);
        return at == rising.end() ? -1 : int(at - rising.begin());
    };
    for (const bool nt5 : {true, false}) {
        SCOPED_TRACE(nt5);
        const std::vector<PriorityEntry> list = PriorityEntries(nt5);
        ASSERT_EQ(list.size(), nt5 ? 6u : 4u);
        EXPECT_STREQ(list[0].Text, "変更なし");
        EXPECT_EQ(list[0].Class, 0) << "the first entry must leave the priority alone";
        std::set<std::string> texts;
        for (size_t i = 1; i < list.size(); ++i) {
            ASSERT_GE(rank(list[i].Class), 0) << list[i].Class << " is no priority class";
            EXPECT_TRUE(texts.insert(list[i].Text).second) << list[i].Text;
            if (i > 1) EXPECT_LT(rank(list[i].Class), rank(list[i - 1].Class)) << i;
        }
        EXPECT_EQ(list[1].Class, 128) << "the list starts at high";
        EXPECT_EQ(list.back().Class, 64) << "and ends at idle";
    }
    // The older list is the newer one without the in-between classes.
    const std::vector<PriorityEntry> nt5 = PriorityEntries(true), old = PriorityEntries(false);
    size_t j = 0;
    for (const PriorityEntry& e : nt5)
        if (j < old.size() && e.Class == old[j].Class) {
            EXPECT_STREQ(e.Text, old[j].Text);
            ++j;
        }
    EXPECT_EQ(j, old.size());
}

TEST(Form2Model, SaveModesFromTheRecord) {
    struct Case {
        const char* avi;
        bool keep;
        int mode;
    } cases[] = {{"x.avi", true, kAviAndTqk},
                 {"x.avi", false, kAviOnly},
                 {"", true, kTqkOnly},
                 {"", false, kTqkOnly}};
    for (const Case& c : cases) {
        CaptureSettings s = DefaultSettings(true);
        s.AviPath = c.avi;
        s.KeepTqk = c.keep;
        Form2Values v = FilledWindow();
        ApplyToWindow(s, &v);
        EXPECT_EQ(v.Option2, c.mode) << c.avi << c.keep;
    }
}

TEST(Form2Model, DefaultsSurviveApplyAndBuild) {
    Form2Values v = FilledWindow();
    const CaptureSettings d = DefaultSettings(true);
    ApplyToWindow(d, &v);
    EXPECT_EQ(v.Label11, "未圧縮");
    EXPECT_EQ(v.Text2, "c:\\test.TQK");
    Form2Extra extra;
    extra.DisplayDepth = 32;
    extra.SoundAvailable = true;
    CaptureSettings b = BuildFromWindow(v, extra);
    // The "xxx" placeholder becomes the derived AVI path; the depth is the screen's.
    EXPECT_EQ(b.AviPath, "c:\\test.avi");
    EXPECT_EQ(b.DisplayDepth, 32);
    b.AviPath = d.AviPath;
    b.DisplayDepth = d.DisplayDepth;
    EXPECT_EQ(b, d);
    // Saved and loaded back (apply, build) the controls are the same.
    Form2Values again = FilledWindow();
    ApplyToWindow(b, &again);
    EXPECT_EQ(again.Text1[2], v.Text1[2]);
    EXPECT_EQ(again.Option2, v.Option2);
    EXPECT_EQ(BuildFromWindow(again, extra), BuildFromWindow(v, extra));
}

TEST(Form2Model, BuildReadsEveryControl) {
    Form2Values v = FilledWindow();
    v.Text1[0] = "-50";
    v.Text1[1] = "10";
    v.Text1[2] = "324";
    v.Text1[3] = "200";
    v.HScroll1[0] = 15;
    v.HScroll1[1] = 90;
    v.Option1 = 2;
    v.HScroll2[0] = 2;
    v.HScroll2[1] = 0;
    v.Text2 = "C:\\a\\movie.mp4.TQK";
    v.Check2 = false;
    v.Check5 = true;
    v.Check6 = true;
    v.Check4 = true;
    v.Check3 = true;
    v.Combo1Index = 0;
    v.Option2 = kAviOnly;
    v.Combo2Index = 2;
    v.Combo3Index = 2;
    v.Check7 = true;
    Form2Extra extra;
    extra.DisplayDepth = 16;
    extra.SoundAvailable = true;
    extra.CompressorName = "Cinepak";
    const CaptureSettings s = BuildFromWindow(v, extra);
    EXPECT_EQ(s.X, -50);
    EXPECT_EQ(s.W, 324);
    EXPECT_EQ(s.Sec, 90);
    EXPECT_EQ(s.Method, 2);
    EXPECT_EQ(s.CpuReleaseCount, 2);
    EXPECT_EQ(s.CpuReleaseTime, 0);
    EXPECT_EQ(s.TqkPath, "C:\\a\\movie.mp4.TQK");
    EXPECT_EQ(s.AviPath, "C:\\a\\movie.mp4.avi");
    EXPECT_EQ(s.WavePath, "C:\\a\\movie.mp4.wav");
    EXPECT_EQ(s.WaveScratchPath, "C:\\a\\movie.mp4.wav.wavtemp");
    EXPECT_EQ(s.SamplesPerSec, 44100);
    EXPECT_EQ(s.Channels, 2);
    EXPECT_EQ(s.BitsPerSample, 16);
    EXPECT_FALSE(s.KeepTqk);
    EXPECT_TRUE(s.CompressorChosen);
    EXPECT_TRUE(s.Avi24);
    EXPECT_TRUE(s.DeleteWave);
    EXPECT_FALSE(s.DrawMouse);
    EXPECT_TRUE(s.FollowMouse);
    EXPECT_EQ(s.RecordingSource, 2);
    EXPECT_EQ(s.PriorityClass, 32768);
    EXPECT_TRUE(s.AsyncWrite);
    EXPECT_EQ(s.DisplayDepth, 16);

    v.Option2 = kTqkOnly;
    v.Combo1Index = 11;
    v.Combo3Index = -1;
    const CaptureSettings t = BuildFromWindow(v, extra);
    EXPECT_EQ(t.AviPath, "");
    EXPECT_TRUE(t.KeepTqk);
    EXPECT_EQ(t.SamplesPerSec, 11025);
    EXPECT_EQ(t.Channels, 1);
    EXPECT_EQ(t.BitsPerSample, 8);
    EXPECT_EQ(t.PriorityClass, 0) << "no priority entry selected";
}

TEST(Form2Model, NoSoundWithoutTheHelperOrAFormat) {
    Form2Values v = FilledWindow();
    v.Check3 = true;
    Form2Extra extra;
    extra.SoundAvailable = false;
    EXPECT_FALSE(BuildFromWindow(v, extra).RecordsSound());
    extra.SoundAvailable = true;
    v.Combo1.clear();
    v.Combo1Index = -1;
    EXPECT_FALSE(BuildFromWindow(v, extra).RecordsSound());
}

TEST(Form2Model, ApplyFollowsTheRecord) {
    CaptureSettings s = DefaultSettings(false);
    s.WavePath = "C:\\m.wav";
    s.CompressorChosen = true;
    s.RecordingSource = 5;  // not in the list
    s.PriorityClass = 999;  // matches no entry
    s.Method = 0;
    Form2Values v = FilledWindow();
    v.Label11 = "Cinepak";
    v.Combo2Index = 1;
    v.Combo3Index = 3;
    v.Check4 = true;
    v.Combo1Index = 4;
    ApplyToWindow(s, &v);
    EXPECT_TRUE(v.Check3) << "the sound box follows the record even when sound is unavailable";
    EXPECT_EQ(v.Label11, "Cinepak") << "a chosen compressor keeps the label";
    EXPECT_EQ(v.Combo2Index, 1);
    EXPECT_EQ(v.Combo3Index, 3);
    EXPECT_FALSE(v.Check4) << "delete wave follows the record";
    EXPECT_EQ(v.Combo1Index, 4) << "a format the list does not offer leaves the list alone";
    EXPECT_EQ(v.Option1, 0);
    EXPECT_FALSE(v.Check7);
    s.RecordingSource = 2;
    s.PriorityClass = 64;
    s.CompressorChosen = false;
    ApplyToWindow(s, &v);
    EXPECT_EQ(v.Combo2Index, 2);
    EXPECT_EQ(v.Combo3Index, 5);
}

// Label, capture information and export agree after a record is applied: a record without a
// compressor ("標準に戻す", a loaded file) takes the window's choice away with the label.
TEST(Form2Model, CompressorLabelAndUseAgreeAfterApply) {
    Form2Values v = FilledWindow();
    v.Label11 = "Cinepak";
    Form2Extra extra;
    extra.CompressorName = "Cinepak";
    extra.SoundAvailable = true;
    CaptureSettings with = DefaultSettings(true);
    with.CompressorChosen = true;
    ApplyToWindow(with, &v, &extra);
    EXPECT_EQ(v.Label11, "Cinepak");
    EXPECT_TRUE(BuildFromWindow(v, extra).CompressorChosen);

    ApplyToWindow(DefaultSettings(true), &v, &extra);
    EXPECT_EQ(v.Label11, "未圧縮");
    EXPECT_EQ(extra.CompressorName, "");
    const CaptureSettings built = BuildFromWindow(v, extra);
    EXPECT_FALSE(built.CompressorChosen) << "the label says uncompressed: so must the export";
    const std::string info = DrawInfoText(built, extra.CompressorName);
    EXPECT_NE(info.find("未圧縮"), std::string::npos) << info;
    EXPECT_EQ(info.find("Cinepak"), std::string::npos) << info;

    // A record that asks for a compressor the window does not have leaves the label alone.
    v.Label11.clear();
    ApplyToWindow(with, &v, &extra);
    EXPECT_EQ(v.Label11, "");
    EXPECT_FALSE(BuildFromWindow(v, extra).CompressorChosen);
}

// A record saved and loaded back records the same way: the sound format and "Wavの削除" go
// into the controls and come back out of them.
TEST(Form2Model, SoundFormatAndDeleteWaveSurviveApplyAndBuild) {
    struct Case {
        int32_t rate, channels, bits;
        bool deleteWave;
        uint32_t deviceFormats;
        int wantIndex;  // in the list of deviceFormats; -1: the list's selection stays
    } cases[] = {
        {22050, 1, 8, true, 0xFFF, 7},  {44100, 2, 16, false, 0xFFF, 0},
        {11025, 1, 8, true, 0xFFF, 11}, {11025, 2, 16, true, 0x800, -1},
        {11025, 1, 8, false, 0x401, 1},
    };
    Form2Extra extra;
    extra.SoundAvailable = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.channels << " " << c.bits);
        CaptureSettings s = DefaultSettings(true);
        const DerivedPaths p = DerivePaths("C:\\m.TQK");
        s.TqkPath = p.TqkPath;
        s.AviPath = p.AviPath;
        s.WavePath = p.WavePath;
        s.WaveScratchPath = p.WaveScratchPath;
        s.SamplesPerSec = c.rate;
        s.Channels = c.channels;
        s.BitsPerSample = c.bits;
        s.DeleteWave = c.deleteWave;
        s.DisplayDepth = extra.DisplayDepth;
        Form2Values v = FilledWindow();
        v.Combo1 = SoundFormatEntries(c.deviceFormats);
        v.Combo1Index = 0;
        v.Check4 = !c.deleteWave;
        ApplyToWindow(s, &v);
        EXPECT_EQ(v.Check4, c.deleteWave);
        EXPECT_EQ(v.Combo1Index, c.wantIndex < 0 ? 0 : c.wantIndex);
        const CaptureSettings b = BuildFromWindow(v, extra);
        EXPECT_EQ(b.DeleteWave, c.deleteWave);
        if (c.wantIndex >= 0) {
            EXPECT_EQ(b, s);
        }
    }
    // Without sound the choice is kept all the same (the box is only disabled).
    CaptureSettings quiet = DefaultSettings(true);
    quiet.DeleteWave = true;
    Form2Values v = FilledWindow();
    ApplyToWindow(quiet, &v);
    EXPECT_TRUE(v.Check4);
    EXPECT_EQ(v.Combo1Index, 0);
    EXPECT_TRUE(BuildFromWindow(v, extra).DeleteWave);
}

TEST(Form2Model, EnableRules) {
    struct Case {
        bool check1, check3, check5, sound, mixer;
        Form2Enables want;
    } cases[] = {
        {false, false, false, true, true, {false, true, true, false, false, false}},
        {true, true, false, true, true, {true, true, true, true, true, true}},
        {true, true, true, true, false, {true, false, true, true, false, true}},
        {false, true, false, false, true, {false, true, false, false, false, false}},
    };
    for (const Case& c : cases) {
        Form2Values v;
        v.Check3 = c.check3;
        v.Check5 = c.check5;
        const Form2Enables e = EnableRules(v, c.sound, c.mixer, c.check1);
        EXPECT_EQ(e.Check1Client, c.want.Check1Client);
        EXPECT_EQ(e.Position, c.want.Position);
        EXPECT_EQ(e.Check3, c.want.Check3);
        EXPECT_EQ(e.Combo1, c.want.Combo1);
        EXPECT_EQ(e.Combo2, c.want.Combo2);
        EXPECT_EQ(e.Check4, c.want.Check4);
    }
}

TEST(Form2Model, OverwriteQuestionNamesTheFilesToBeWritten) {
    CaptureSettings s = DefaultSettings(true);
    s.TqkPath = "C:\\a\\m.TQK";
    s.AviPath = "C:\\a\\m.avi";
    s.WavePath = "C:\\a\\m.wav";
    const std::set<std::string> all = {"C:\\a\\m.TQK", "C:\\a\\m.avi", "C:\\a\\m.wav"};
    auto in = [](const std::set<std::string>& files) {
        return [files](const std::string& f) { return files.count(f) > 0; };
    };
    EXPECT_EQ(OverwriteQuestion(s, in(all)),
              "m.TQKは存在しています。\r\nm.aviは存在しています。\r\nm.wavは存在しています。"
              "\r\n全て上書きしてよろしいですか？");
    EXPECT_EQ(OverwriteQuestion(s, in({"C:\\a\\m.wav"})),
              "m.wavは存在しています。\r\n全て上書きしてよろしいですか？");
    EXPECT_EQ(OverwriteQuestion(s, in({})), "");
    // "TQKだけ作成": no AVI is written, so none is named; no sound: no wave file.
    s.AviPath.clear();
    s.WavePath.clear();
    EXPECT_EQ(OverwriteQuestion(s, in(all)),
              "m.TQKは存在しています。\r\n全て上書きしてよろしいですか？");
    EXPECT_EQ(InvalidPathMessage("Q:\\x.TQK"),
              "Q:\\x.TQKは無効です\r\n保存先ファイル名、ドライブを確認下さい");
}

TEST(Form2Model, FileNameText) {
    struct Case {
        const char* path;
        bool ok;
    } cases[] = {
        {"C:\\a\\m.TQK", true},
        {"m.TQK", true},
        {"\\\\srv\\sh\\m.TQK", true},
        {"C:\\a\\", false},
        {"", false},
        {"C:\\a\\m?.TQK", false},
        {"C:\\a\\m*.TQK", false},
        {"C:\\a<\\m.TQK", false},
        {"C:\\a\\m:x.TQK", false},
        {"1:\\m.TQK", false},
        {"C:\\a\\m\t.TQK", false},
        {"C:\\録画\\映像.TQK", true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsUsableFileNameText(c.path), c.ok) << c.path;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

TEST(Form2Texts, TooltipsJoinTheirLinesWithCrLf) {
    struct Case {
        Form2Tip tip;
        size_t lines;
        std::vector<size_t> blank;
    } cases[] = {
        {Form2Tip::Method, 17, {2, 8, 12}},  {Form2Tip::HScroll2, 14, {3, 7, 10}},
        {Form2Tip::SaveMode, 12, {3, 6, 9}}, {Form2Tip::Estimate, 15, {3, 6, 9, 11}},
        {Form2Tip::Check7, 9, {3, 6}},       {Form2Tip::Command5, 1, {}},
        {Form2Tip::NoSound, 2, {}},          {Form2Tip::Command10, 3, {1}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> l = SplitLines(Form2TipText(c.tip));
        SCOPED_TRACE(l[0]);
        EXPECT_EQ(l.size(), c.lines);
        for (size_t i = 0; i < l.size(); ++i) {
            const bool blank = std::find(c.blank.begin(), c.blank.end(), i) != c.blank.end();
            EXPECT_EQ(l[i].empty(), blank) << i;
        }
    }
    EXPECT_EQ(Form2TipText(Form2Tip::NoSound),
              "録音可能なサウンドドライバが無いか、\r\n録音プログラムが無かった為使用できません。");
    EXPECT_EQ(VersionLine(1, 0, 3), "Version 1.0   Revision 3");
}

}  // namespace
}  // namespace tqk::test
