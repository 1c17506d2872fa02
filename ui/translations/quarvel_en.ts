<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Application</name>
    <message>
        <source>使い方: quarvel [Qtのオプション] [ファイル|フォルダ|テンプレート集]...

テキストアートをPNG画像にするウィンドウを開きます。名前を挙げた文書は「ファイル」の
ページに、フォルダは「フォルダ」のページに入り、「PNG画像生成」を押すまで変換
されません。テンプレート集（.mlt、.ast）はテンプレート集のウィンドウで開きます。

  -h, --help   この説明を表示して終了します
  --version    バージョンを表示して終了します
  --           これより後の引数はすべてファイルかフォルダの名前です

ウィンドウなしで描くには quarvel-cli を使います（quarvel-cli help）。
</source>
        <translation>Usage: quarvel [Qt options] [FILE|FOLDER|COLLECTION]...

Opens a window that turns text art into PNG pictures. A document named here goes into
the &quot;File&quot; page and a folder into the &quot;Folder&quot; page; nothing is converted until &quot;Make
PNG pictures&quot; is pressed. Template collections (.mlt, .ast) open in the collection
window.

  -h, --help   print this help and exit
  --version    print the version and exit
  --           every later argument is the name of a file or folder

To draw without a window, use quarvel-cli (quarvel-cli help).
</translation>
    </message>
    <message>
        <source>quarvel: 画面が無いためウィンドウを開けません（DISPLAY も WAYLAND_DISPLAY も空です）。ウィンドウなしで描くには quarvel-cli を使います。
</source>
        <translation>quarvel: cannot open a window without a display (DISPLAY and WAYLAND_DISPLAY are both empty). To draw without a window, use quarvel-cli.
</translation>
    </message>
    <message>
        <source>quarvel: %1: そのようなファイルやフォルダはありません
</source>
        <translation>quarvel: %1: no such file or folder
</translation>
    </message>
    <message>
        <source>quarvel: %1: 開くのは文書とフォルダを一つずつです。これは開きません
</source>
        <translation>quarvel: %1: one document and one folder are opened at a time; this one is not
</translation>
    </message>
</context>
<context>
    <name>ArtDialogs</name>
    <message>
        <source> px</source>
        <translation> px</translation>
    </message>
    <message>
        <source>空白で位置まで埋める</source>
        <translation>Fill with blanks to a pixel</translation>
    </message>
    <message>
        <source>キャレットの後の文字は今 %1 px から始まります（空白は %2 px から）。</source>
        <translation>The character after the caret now starts at %1 px (the blanks at %2 px).</translation>
    </message>
    <message>
        <source>次の文字の位置(&amp;P):</source>
        <translation>&amp;Next character at:</translation>
    </message>
    <message>
        <source>上の行にそろえる: %1 px(&amp;U)</source>
        <translation>Line &amp;up: %1 px</translation>
    </message>
    <message>
        <source>下の行にそろえる: %1 px(&amp;D)</source>
        <translation>Line &amp;down: %1 px</translation>
    </message>
    <message>
        <source>次のガイド: %1 px(&amp;G)</source>
        <translation>Next &amp;guide: %1 px</translation>
    </message>
    <message>
        <source>右端をそろえる</source>
        <translation>Align right edges</translation>
    </message>
    <message numerus="yes">
        <source>%n 行の終わりを空白で埋めます。</source>
        <translation>
            <numerusform>The end of %n line is filled with blanks.</numerusform>
            <numerusform>The ends of %n lines are filled with blanks.</numerusform>
        </translation>
    </message>
    <message>
        <source>最も広い行の右端: %1 px(&amp;W)</source>
        <translation>To the &amp;widest line: %1 px</translation>
    </message>
    <message>
        <source>位置(&amp;P):</source>
        <translation>To a &amp;pixel:</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Pixel</translation>
    </message>
</context>
<context>
    <name>ArtEdit</name>
    <message>
        <source>ルーラー</source>
        <translation>Ruler</translation>
    </message>
</context>
<context>
    <name>CommonSettingsPage</name>
    <message>
        <source>改行で行を分ける</source>
        <translation>Line ends break lines</translation>
    </message>
    <message>
        <source>行末で行を分けたアート（pre 要素の中など）を、行末（CR LF、LF、CR）ごとに改行して描きます。開始の区切りのすぐ後と終了の区切りのすぐ前の行末は行になりません</source>
        <translation>Draws art whose lines end in line ends (as in a pre element) with a line break at each line end (CR LF, LF or CR). The line end right after the start separator and the one right before the end separator begin no line.</translation>
    </message>
    <message>
        <source>\n は改行で、CR LF にも LF だけの行末にも合います</source>
        <translation>\n is a line break: it matches CR LF or a bare LF</translation>
    </message>
</context>
<context>
    <name>CopyPastePage</name>
    <message>
        <source>コピペ</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>画像をコピー</source>
        <translation>Copy picture</translation>
    </message>
    <message>
        <source>PNG画像 (*.png)</source>
        <translation>PNG pictures (*.png)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
    <message>
        <source>ピクセル位置</source>
        <translation>Pixel position</translation>
    </message>
    <message>
        <source>x %1 px&#x3000;行の幅 %2 px</source>
        <translation>x %1 px, line %2 px wide</translation>
    </message>
    <message>
        <source>&#x3000;選択した行の最大幅 %1 px</source>
        <translation>, widest selected line %1 px</translation>
    </message>
    <message numerus="yes">
        <source>%n 行を %1 px にそろえました</source>
        <translation>
            <numerusform>; %n line aligned at %1 px</numerusform>
            <numerusform>; %n lines aligned at %1 px</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>（%n 行は最大 %1 px ずれます）</source>
        <translation>
            <numerusform> (%n line off by %1 px)</numerusform>
            <numerusform> (%n lines off by up to %1 px)</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 px まで埋めました</source>
        <translation>; filled to %1 px</translation>
    </message>
    <message>
        <source>%1 px には %2 px 足りません</source>
        <translation>; %2 px short of %1 px</translation>
    </message>
    <message>
        <source>%1 px を %2 px 超えています</source>
        <translation>; %2 px past %1 px</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>Quarvelのﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Quarvel</translation>
    </message>
    <message>
        <source>テキストアートを PNG 画像に</source>
        <translation>Text art into PNG pictures</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Quarvel</source>
        <translation>Quarvel</translation>
    </message>
    <message>
        <source>文字色</source>
        <translation>Text colour</translation>
    </message>
    <message>
        <source>背景色</source>
        <translation>Background</translation>
    </message>
    <message>
        <source>PNG画像生成</source>
        <translation>Make PNG pictures</translation>
    </message>
    <message>
        <source>余白(&amp;M)</source>
        <translation>&amp;Margin</translation>
    </message>
    <message>
        <source>pixel</source>
        <translation>px</translation>
    </message>
    <message>
        <source>半角SP動作の模擬</source>
        <translation>Collapse spaces</translation>
    </message>
    <message>
        <source>倍率(&amp;B)</source>
        <translation>Sc&amp;ale</translation>
    </message>
    <message>
        <source>透明(&amp;N)</source>
        <translation>Tra&amp;nsp.</translation>
    </message>
    <message>
        <source>対象フォルダ(&amp;D)</source>
        <translation>Fol&amp;der</translation>
    </message>
    <message>
        <source>参照...</source>
        <translation>Open...</translation>
    </message>
    <message>
        <source>サブフォルダも処理する</source>
        <translation>Include subfolders</translation>
    </message>
    <message>
        <source>走査対象ファイル</source>
        <translation>Files to scan</translation>
    </message>
    <message>
        <source>対象ファイル(&amp;T)</source>
        <translation>&amp;Target file</translation>
    </message>
    <message>
        <source>文字コード(&amp;C)</source>
        <translation>En&amp;coding</translation>
    </message>
    <message>
        <source>Shift-Jis</source>
        <translation>Shift-Jis</translation>
    </message>
    <message>
        <source>EUC</source>
        <translation>EUC</translation>
    </message>
    <message>
        <source>UTF-8</source>
        <translation>UTF-8</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>開始タグ(&amp;S)</source>
        <translation>&amp;Start tag</translation>
    </message>
    <message>
        <source>終了タグ(&amp;E)</source>
        <translation>&amp;End tag</translation>
    </message>
    <message>
        <source>元ファイルを&quot;backup&quot;フォルダに保存する</source>
        <translation>Keep the original in the &quot;backup&quot; folder</translation>
    </message>
    <message>
        <source>Quarvel&#x3000;処理中。。。</source>
        <translation>Quarvel - Working...</translation>
    </message>
    <message>
        <source>100%</source>
        <translation>100%</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>改行で行を分ける(&amp;L)</source>
        <translation>&amp;Line ends break lines</translation>
    </message>
</context>
<context>
    <name>DraftKeeper</name>
    <message>
        <source>quarvel: %1: 「コピペ」の下書きを書き込めませんでした
</source>
        <translation>quarvel: %1: the draft of the copy-paste box could not be written
</translation>
    </message>
</context>
<context>
    <name>FilePage</name>
    <message>
        <source>%1
%2 の内容に戻します。今の内容はbackupフォルダに残します。</source>
        <translation>%1
will be put back as %2 has it. What it holds now is kept in the backup folder.</translation>
    </message>
    <message>
        <source>%1
最初のコピー %2 と同じ内容です。戻すものはありません。</source>
        <translation>%1
holds what the first copy, %2, holds. There is nothing to put back.</translation>
    </message>
    <message>
        <source>%1
変換後に編集されています。それでも %2 の内容に戻しますか？編集後の内容はbackupフォルダに残し、その内容が示す画像も残します。</source>
        <translation>%1
was edited since its conversion. Put it back as %2 has it all the same? The edited text is kept in the backup folder, and so is every picture it shows.</translation>
    </message>
</context>
<context>
    <name>FolderPage</name>
    <message>
        <source>フォルダーを選択してください</source>
        <translation>Choose a folder</translation>
    </message>
</context>
<context>
    <name>JobRunner</name>
    <message>
        <source>処理ちゅう。。。</source>
        <translation>Working...</translation>
    </message>
    <message>
        <source>PNG画像生成</source>
        <translation>Make PNG pictures</translation>
    </message>
    <message>
        <source>ジョブを開始できません</source>
        <translation>The job could not be started</translation>
    </message>
</context>
<context>
    <name>JobSummaryWindow</name>
    <message>
        <source>失敗: </source>
        <translation>Failed: </translation>
    </message>
    <message>
        <source>テキストではないため変換しません（%1）</source>
        <translation>Not converted, as it is not text (%1)</translation>
    </message>
    <message>
        <source>文字コード %1 を宣言しています（読んだ文字コードと違います。「文字コード」の設定を確かめてください）</source>
        <translation>Declares the encoding %1 (not the one it was read in; check the &quot;Encoding&quot; setting)</translation>
    </message>
    <message>
        <source>Quarvel&#x3000;処理結果</source>
        <translation>Quarvel - Results</translation>
    </message>
    <message>
        <source>警告と失敗(&amp;W)</source>
        <translation>&amp;Warnings and failures</translation>
    </message>
    <message>
        <source>すべてコピー(&amp;C)</source>
        <translation>&amp;Copy all</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>文書 %1 件: 変換 %2、変更なし %3、失敗 %4 ／ 画像 %5 枚 ／ 警告 %6 件</source>
        <translation>Documents: %1 (converted %2, unchanged %3, failed %4) / pictures: %5 / warnings: %6</translation>
    </message>
    <message>
        <source> ／ 文書以外の失敗 %1 件</source>
        <translation> / other failures: %1</translation>
    </message>
    <message>
        <source>中止しました。</source>
        <translation>Stopped. </translation>
    </message>
    <message>
        <source>警告も失敗もありません</source>
        <translation>No warnings and no failures</translation>
    </message>
    <message>
        <source>警告: </source>
        <translation>Warning: </translation>
    </message>
    <message>
        <source>%1 の内容に戻しました。変換の画像 %2 個を削除し、変換後の内容は %3 に残しました。</source>
        <translation>Put back as %1 has it. Pictures of the conversion deleted: %2. The converted text was kept as %3.</translation>
    </message>
    <message>
        <source>残した画像 %1 個（変換後に変更 %2、戻した内容か残した内容が示す %3、ほかのユーザーのもの %4、変換後の内容より新しい %5）</source>
        <translation>Pictures kept: %1 (changed since the conversion %2, shown by the text put back or kept %3, another user&apos;s %4, newer than the converted text %5)</translation>
    </message>
    <message>
        <source>文書 %1 件: 変換 %2、戻した %7、変更なし %3、失敗 %4 ／ 画像 %5 枚 ／ 警告 %6 件</source>
        <translation>Documents: %1 (converted %2, put back %7, unchanged %3, failed %4) / pictures: %5 / warnings: %6</translation>
    </message>
    <message>
        <source> ／ 他のプロセスがロックしていて処理しなかった文書: %1</source>
        <translation> / left as they were, locked by another process: %1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>文字色</source>
        <translation>Text colour</translation>
    </message>
    <message>
        <source>背景色</source>
        <translation>Background colour</translation>
    </message>
    <message>
        <source>%1倍</source>
        <translation>%1×</translation>
    </message>
    <message>
        <source>倍率</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>背景を透明に</source>
        <translation>Transparent background</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>File</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>コピペ</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>正の整数を入力してください。</source>
        <translation>Enter a positive whole number.</translation>
    </message>
    <message>
        <source>%1 から %2 までの整数を入力してください。</source>
        <translation>Enter a whole number from %1 to %2.</translation>
    </message>
    <message>
        <source>最近開いたテンプレート集(&amp;R)</source>
        <translation>Recent &amp;collections</translation>
    </message>
    <message>
        <source>設定ファイル (*.ini)</source>
        <translation>Settings files (*.ini)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
    <message>
        <source>%1
設定が見つかりません</source>
        <translation>%1
holds no settings</translation>
    </message>
</context>
<context>
    <name>Menus</name>
    <message>
        <source>ﾌｧｲﾙ(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>プレビュー(&amp;P)</source>
        <translation>&amp;Preview</translation>
    </message>
    <message>
        <source>テンプレート集を開く(&amp;T)...</source>
        <translation>Open &amp;template collection...</translation>
    </message>
    <message>
        <source>対象ファイルをbackupから戻す(&amp;R)...</source>
        <translation>&amp;Restore target file from backup...</translation>
    </message>
    <message>
        <source>設定を読み込む(&amp;L)...</source>
        <translation>&amp;Load settings...</translation>
    </message>
    <message>
        <source>名前をつけて設定を保存(&amp;A)...</source>
        <translation>S&amp;ave settings as...</translation>
    </message>
    <message>
        <source>2色PNG（小さいファイル）(&amp;I)</source>
        <translation>Two-colour PNG (smaller f&amp;iles)</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>ﾍﾙﾌﾟ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ﾊﾞｼﾞｮｰﾝの表示(&amp;V)...</source>
        <translation>&amp;About Quarvel...</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>空白で位置まで埋める(&amp;F)...</source>
        <translation>&amp;Fill to...</translation>
    </message>
    <message>
        <source>右端をそろえる(&amp;R)...</source>
        <translation>Align &amp;right edges...</translation>
    </message>
    <message>
        <source>ガイドを置く／外す(&amp;G)</source>
        <translation>Set or remove a &amp;guide</translation>
    </message>
    <message>
        <source>ガイドをすべて消す(&amp;C)</source>
        <translation>&amp;Clear guides</translation>
    </message>
</context>
<context>
    <name>PictureWarnings</name>
    <message>
        <source>この文書の文字コードは %1 です。「%2」で「%3」か「%4」を選んで、もう一度変換してください。</source>
        <translation>This document is in %1. Choose %3 or %4 under %2 and convert it again.</translation>
    </message>
    <message>
        <source>「%1」</source>
        <translation>&quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>PreviewWindow</name>
    <message>
        <source>プレビュー</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>画像</source>
        <translation>Picture</translation>
    </message>
    <message>
        <source>倍率(&amp;Z)</source>
        <translation>&amp;Zoom</translation>
    </message>
    <message>
        <source>ウィンドウに合わせる</source>
        <translation>Fit to window</translation>
    </message>
    <message>
        <source>画像をコピー</source>
        <translation>Copy picture</translation>
    </message>
    <message>
        <source>%1 × %2 ピクセル</source>
        <translation>%1 × %2 pixels</translation>
    </message>
    <message>
        <source>%1&#x3000;警告: %2</source>
        <translation>%1   Warnings: %2</translation>
    </message>
    <message>
        <source>、</source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>ProgressWindow</name>
    <message>
        <source>処置中...</source>
        <translation>Working...</translation>
    </message>
</context>
<context>
    <name>Strings</name>
    <message>
        <source>Quarvel のﾊﾞｰｼﾞｮﾝ情報(&amp;A)...</source>
        <translation>&amp;About Quarvel...</translation>
    </message>
    <message>
        <source>ver.β_040411</source>
        <translation>ver.β_040411</translation>
    </message>
    <message>
        <source>Quarvel</source>
        <translation>Quarvel</translation>
    </message>
</context>
<context>
    <name>TemplateBrowser</name>
    <message>
        <source>テンプレート集</source>
        <translation>Template collection</translation>
    </message>
    <message>
        <source>検索(&amp;S)</source>
        <translation>&amp;Search</translation>
    </message>
    <message>
        <source>番号、名前、含まれる文字</source>
        <translation>Number, name or text in it</translation>
    </message>
    <message>
        <source>テンプレート</source>
        <translation>Templates</translation>
    </message>
    <message>
        <source>コピペへ送る(&amp;P)</source>
        <translation>Send to &amp;Paste</translation>
    </message>
    <message>
        <source>テキストをコピー(&amp;X)</source>
        <translation>Copy te&amp;xt</translation>
    </message>
    <message>
        <source>画像をコピー(&amp;I)</source>
        <translation>Copy p&amp;icture</translation>
    </message>
    <message>
        <source>全 %1 件</source>
        <translation>%1 in all</translation>
    </message>
    <message>
        <source>%1 件中 %2 件</source>
        <translation>%2 of %1</translation>
    </message>
    <message>
        <source>開く(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>最近開いたもの(&amp;R)</source>
        <translation>&amp;Recent</translation>
    </message>
    <message>
        <source>テンプレート集（.mlt、.ast）を開くか、ここにドロップしてください</source>
        <translation>Open a template collection (.mlt, .ast) or drop one here</translation>
    </message>
    <message>
        <source>テンプレート集 (*.mlt *.ast *.MLT *.AST)</source>
        <translation>Template collections (*.mlt *.ast *.MLT *.AST)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
    <message>
        <source>（なし）</source>
        <translation>(none)</translation>
    </message>
</context>
</TS>
