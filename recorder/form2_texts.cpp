#include "form2_texts.h"

#include <initializer_list>

namespace tqk::rec {

namespace {

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    bool first = true;
    for (const char* l : lines) {
        if (!first) text += "\r\n";
        text += l;
        first = false;
    }
    return text;
}

}  // namespace

std::string Form2TipText(Form2Tip tip) {
    switch (tip) {
    case Form2Tip::Method:
        return Lines(
            {"キャプチャの方法を決めます。",
             "環境、OS、他のアプリ等に応じてベストな方法は変わります。", "", "Type0",
             "GetBitMapBitsを使います。", "既に使われていないAPIですので極力避けてください。",
             "作成したTQKを残す場合は24bit、Type1形式に自動で変換します。",
             "キャプチャ後も、変換が終わるまでディスプレイの設定は変更しないで下さい。", "",
             "Type1", "GetDIBitsを使います。", "通常はこれが一番速いです。", "", "Type2",
             "CreateDIBSectionを使います。", "WinXP,2000等で遅くなる場合がありますが、",
             "それ以外の環境では最速のことがあります。"});
    case Form2Tip::Check1Window:
        return Lines({"チェック　 ... マウス位置にあるウィンドウを取得します。",
                      "未チェック ... 領域をマウスのドラッグで指定します。"});
    case Form2Tip::Check1Client: return "クライアント領域を取得します。";
    case Form2Tip::HScroll1:
        return Lines({"fps ... frame per secondの略。",
                      "        1秒あたり何回保存するかを決めます。",
                      "        あまり大きくするとコマ落ちがひどくなります。", "",
                      "sec ... 何秒保存するかを決めます。"});
    case Form2Tip::Check2: return "マウスをキャプチャ画面に書き込みます。";
    case Form2Tip::Check8:
        return Lines({"マウスのボタンを押した位置に輪を書き込みます。",
                      "左ボタンは赤、右ボタンは青で、約0.5秒で消えます。"});
    case Form2Tip::Check9:
        return Lines({"押したショートカットキーを画面の下に書き込みます。",
                      "（Ctrl+C、Alt+Tab、Enter、F5、矢印キーなど）",
                      "文字だけの入力は書き込まないので、パスワードは映りません。",
                      "押したキーはキャプチャ画面以外には保存されません。"});
    case Form2Tip::Check3:
        return Lines({"サウンドを取り込み、Wavで保存します。",
                      "AVIファイルを作成する場合は合成して",
                      "一つのAVIファイルとして作成します。"});
    case Form2Tip::Combo1: return "サウンドの品質を決定します。";
    case Form2Tip::Check5:
        return Lines({"キャプチャ位置をマウス中心にします。",
                      "つまり、マウスに追従するようなキャプチャになります。", "",
                      "画面端など、存在しない領域は真っ黒になります。"});
    case Form2Tip::HScroll2:
        return Lines({"回数 ... CPUを解放する回数を決めます。",
                      "時間 ... CPUを解放する時間を決めます。",
                      "数が大きくなるほど他のアプリが動きやすくなり、コマ落ちしやすくなります。",
                      "", "回数0 時間0", "マルチプロセッサなど、CPUを占有しつづけても",
                      "他の処理に影響を与えにくい場合に使います。", "", "回数1 時間1",
                      "標準の設定です。通常はこれで問題ないでしょう。", "", "回数2 時間1",
                      "他で重い処理を続ける必要がある場合等に使います。",
                      "fpsを大幅に下げる必要があるかも知れません。"});
    case Form2Tip::Combo3:
        return Lines({"このソフトの実行優先度を設定します。", "",
                      "よく分からない場合は変更しない方が無難です。"});
    case Form2Tip::Combo2:
        return Lines({"録音ソースを変更（設定）します。", "",
                      "システムの設定を変更するので、強制終了した場合などは",
                      "変更したままになりますのでご注意下さい。"});
    case Form2Tip::SaveMode:
        return Lines({"保存の方法を決めます。", "TQKとはこのソフトだけが読み込める形式です。",
                      "TQKは一時ファイルとして、キャプチャする際に必ず作成します。", "",
                      "AVIとTQKを作成", "TQKはAVIファイルを作成したあとも削除しません。", "",
                      "AVIだけ作成", "TQKはAVIファイルを作成したあと削除します。", "",
                      "TQKだけ作成", "AVIファイルを作成しません。最も早く終わる方法です。"});
    case Form2Tip::Command3:
        return Lines({"キャプチャ方法のType0～2を現在の設定で",
                      "2秒間ずつキャプチャして、1フレームあたりの",
                      "平均キャプチャ時間を調べます。", "", "ドロップされた分は無視されます。"});
    case Form2Tip::Command5: return "録画開始";
    case Form2Tip::Picture2: return "キャプチャ情報一覧";
    case Form2Tip::Estimate:
        return Lines({"現在の設定でキャプチャを開始した場合、",
                      "最も悪い状況（低圧縮）で必要になる可能性のある",
                      "最大のディスクサイズを表わしています。", "",
                      "TQKはすべて圧縮されず、AVIを作成する場合は",
                      "AVIが未圧縮である場合を想定しています。", "",
                      "ほとんどの場合、このサイズのスペースは",
                      "必要ありませんが、必要になる可能性はあります。", "",
                      "(空きスペース-100MB)以上になると赤くなります。", "",
                      "※)FAT32の場合は4GBを越えると赤くなります。",
                      "※２）Win9x系の場合で非同期書き込みを指定していると",
                      "　　　搭載メモリサイズを超えると赤くなります。"});
    case Form2Tip::Check6:
        return Lines({"Taviroは高速化の為、",
                      "キャプチャの色深度をディスプレイの解像度と同じにしています。", "",
                      "しかしAVIは通常24bitですので、それ以外のAVIは読みこめない",
                      "アプリケーションがあるかもしれませんし、16bitで保存した場合",
                      "色が変色する可能性もあります。", "",
                      "その場合にこちらをチェックしてAVI作成時に24ビットに変換します。",
                      "（その分、AVI作成時間が少し長くなります。）"});
    case Form2Tip::Command4: return "再生画面を表示します。";
    case Form2Tip::Command7:
        return Lines({"設定を保存します。", "default.TQPという名前をつけて保存すると",
                      "起動時にその設定を読み込みます。", "",
                      "注）AVIの圧縮方法は保存されません。常に未圧縮になります。"});
    case Form2Tip::Command9:
        return Lines({"標準の設定に戻します。", "default.TQPは関係ありません。"});
    case Form2Tip::Command10:
        return Lines({"設定を読み込みます。", "",
                      "注）AVIの圧縮方法は読み込まれません。常に未圧縮になります。"});
    case Form2Tip::Region:
        return Lines({"キャプチャ領域を指定します。",
                      "キャプチャの幅は4の倍数である必要があります。", "",
                      "（キャプチャの高さ、位置には制限はありません。）"});
    case Form2Tip::Check7:
        return Lines(
            {"Taviroは高速化のため、最初にキャプチャに必要なサイズを",
             "ファイルに確保してからキャプチャを行い、非同期でファイルに書き込みます。",
             "チェックをはずすと領域を確保せずに、同期しながらファイルを書き込むようにします。", "",
             "非同期（チェック済み）のほうがキャプチャ速度が速くなりますが最初に領域を確保する"
             "必要があります。",
             "同期（未チェック）ではキャプチャ速度が遅くなりますが領域を確保する必要はありませ"
             "ん。",
             "",
             "Windows98,"
             "Meでは非同期の場合は未圧縮時最大必要容量が搭載メモリと同じサイズになります。",
             "そのため、キャプチャ出来る時間がかなり短くなりますのでチェックしないほうが良いで"
             "しょう。"});
    case Form2Tip::NoSound:
        return Lines(
            {"録音可能なサウンドドライバが無いか、", "録音プログラムが無かった為使用できません。"});
    case Form2Tip::NoMixer: return "ミキサーが使用出来ないか、トグル式でしたので選択できません。";
    case Form2Tip::Remarks:
        return Lines({"設定は各項目にマウスを合わせると説明が表示されます。",
                      "設定を変えると右の一覧と必要容量がすぐに変わります。"});
    case Form2Tip::HotkeyStartStop:
        return Lines({"録画の開始と停止をキーで行います。",
                      "この画面で押すと、録画ボタンと同じように録画を始めます。",
                      "録画中に押すと、次の1秒の区切りで録画を終えて保存します。", "",
                      "他のソフトを操作している時にも使えます。",
                      "（試行中と、確認の表示中は使えません。）"});
    case Form2Tip::HotkeyPauseResume:
        return Lines({"録画中に押すと録画を一時停止し、もう一度押すと再開します。",
                      "一時停止中の画面と音は保存されません。", "",
                      "他のソフトを操作している時にも使えます。"});
    case Form2Tip::HotkeyBox:
        return Lines({"ここで使いたいキーを押すと変わります。", "（例：F9、Shift+F9、Ctrl+Alt+R）",
                      "文字や矢印などのキーはCtrlかAltと組み合わせてください。", "",
                      "変更はすぐに使われ、保存されます。"});
    case Form2Tip::Command13: return "ホットキーを標準（F9、Shift+F9）に戻します。";
    }
    return {};
}

std::string VersionLine(int major, int minor, int revision) {
    return "Version " + std::to_string(major) + "." + std::to_string(minor) + "   Revision " +
           std::to_string(revision);
}

}  // namespace tqk::rec
