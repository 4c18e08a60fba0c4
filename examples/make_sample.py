#!/usr/bin/env python3
"""Writes the sample data of one imaginary school into this folder.

KUBUN.KMT (the school's categories), E_KUBUN.KMT and J_KUBUN.KMT (reference files for
elementary and junior high schools) and ZORVEL.SEW (the settings file), all in CP932 with
CR LF line ends, exactly in the category file format. The output is the same on every run.

    python3 examples/make_sample.py
"""

import pathlib

HERE = pathlib.Path(__file__).resolve().parent

# Equipment by subject (the second match key). Every name is written once per subject.
SUBJECTS = {
    "国語": "硯 文鎮 書写用下敷き 国語辞典 漢字辞典 古語辞典 百人一首 かるた 朗読用ＣＤ 掛図（国語） "
            "書道用毛氈 半紙乾燥棚 筆置き 原稿用紙掲示板 ことわざカード 漢字カード 拡大教科書 "
            "音読用マイク 墨液容器 国語黒板用短冊",
    "社会": "地球儀 日本地図 世界地図 地図帳 立体地形模型 方位磁針 歴史年表 歴史掛図 郷土資料 "
            "はにわ模型 土器模型 都道府県パズル 地図記号カード 統計資料集 消防服（模型） "
            "昔の道具 そろばん（大型） 縄文土器レプリカ 航空写真 天気図掲示板",
    "算数": "三角定規（黒板用） 分度器（黒板用） コンパス（黒板用） 算数セット 数図ブロック "
            "百玉そろばん 大型時計模型 はかり 上皿天びん 巻尺 メートル尺 立体模型セット "
            "分数板 折れ線グラフ黒板 方眼黒板 計算カード 電卓 ものさし（一メートル） 升（一リットル） "
            "面積板",
    "理科": "顕微鏡 双眼実体顕微鏡 上皿てんびん 電子てんびん アルコールランプ ガスバーナー "
            "試験管立て ビーカー 三脚 金網 てこ実験器 滑車 電流計 電圧計 検流計 電源装置 "
            "豆電球セット 方位磁針（大） 月球儀 星座早見 天体望遠鏡 気体検知管 温度計 "
            "人体骨格模型 人体解剖模型 岩石標本 化石標本 水槽 エアポンプ 百葉箱 "
            "電磁石実験器 光電池 手回し発電機 ふりこ実験器 ばねばかり",
    "音楽": "ピアノ グランドピアノ オルガン 電子オルガン 木琴 鉄琴 大太鼓 小太鼓 シンバル "
            "トライアングル カスタネット タンバリン 鍵盤ハーモニカ リコーダー（アルト） "
            "アコーディオン 指揮台 譜面台 和太鼓 琴 メトロノーム ティンパニ チューバ",
    "図工": "電動糸のこぎり 木工万力 彫刻刀セット 版画プレス機 陶芸窯 ろくろ 電気ごて "
            "絵の具乾燥棚 イーゼル 画板 粘土板 のこぎり かなづち きり くぎ抜き "
            "ドライバーセット ホットボンド 卓上ボール盤 作品展示台 石膏像",
    "家庭": "ミシン 電気がま ガスこんろ 電子レンジ オーブン 冷蔵庫 調理台 食器戸棚 "
            "まな板 包丁 アイロン アイロン台 裁ちばさみ ロックミシン 人台 洗濯機 "
            "計量カップ 計量スプーン 蒸し器 ホットプレート",
    "体育": "跳び箱 踏切板 マット 平均台 鉄棒（移動式） ハードル 走り高跳び支柱 "
            "ゴールポスト バスケットゴール バレーボール支柱 ネット（バレー） 得点板 "
            "ストップウォッチ 巻尺（五十メートル） ライン引き 玉入れ台 綱引き用綱 "
            "一輪車 竹馬 一輪車立て ボールかご 体操用ボール タグラグビー用タグ",
    "保健": "身長計 体重計 座高計 視力表 照明付き視力表 聴力計 ベッド 担架 車椅子 "
            "救急箱 ＡＥＤ 血圧計 体温計 薬品戸棚 冷蔵庫（保健室） 健康教育掛図 "
            "歯の模型 眼の模型 耳の模型 衝立",
    "図書": "書架 雑誌架 新聞架 絵本架 閲覧机 閲覧椅子 ブックトラック カウンター "
            "紙芝居舞台 ブックエンド 図書管理用パソコン バーコードリーダー 除菌機 "
            "掲示板（図書室） 展示ケース",
    "視聴覚": "プロジェクター 実物投影機 スクリーン 大型テレビ ＣＤラジカセ デジタルカメラ "
              "ビデオカメラ 放送卓 ワイヤレスマイク スピーカー 三脚（カメラ用） "
              "電子黒板 タブレット端末 タブレット充電保管庫 書画カメラ",
    "事務": "事務机 事務椅子 応接セット 書庫 金庫 コピー機 印刷機 裁断機 シュレッダー "
            "ラミネーター 紙折り機 丁合機 掲示板 ホワイトボード 移動黒板 パソコン "
            "プリンター 電話機 ファクシミリ 製本機",
    "給食": "配膳台 食缶 保温食缶 食器かご 給食用ワゴン 牛乳保冷庫 手洗い台 "
            "食器消毒保管庫 白衣 白衣かけ",
    "校務": "草刈機 刈払機 一輪車（運搬用） 脚立 はしご 高圧洗浄機 発電機 投光器 "
            "テント 長机 折りたたみ椅子 国旗掲揚台 朝礼台 拡声器 雪かき用具",
}

# The classification that a reference file gives to a subject's equipment.
CLASSES = {
    "国語": "教材備品", "社会": "教材備品", "算数": "教材備品", "理科": "理科教材",
    "音楽": "楽器", "図工": "教材備品", "家庭": "家庭科備品", "体育": "体育用具",
    "保健": "保健備品", "図書": "図書備品", "視聴覚": "視聴覚機器", "事務": "一般備品",
    "給食": "給食備品", "校務": "一般備品",
}
# The junior-high file files some subjects under other classifications; where both files
# know an item, the elementary one wins, which the run shows.
J_CLASSES = {"理科": "理科実験器具", "図工": "美術備品", "家庭": "技術家庭備品",
             "視聴覚": "情報機器"}

# Kept by the school, not in the reference files: these stay empty.
SCHOOL_ONLY = [("学校園用ホース", "校務"), ("メダカ飼育水槽", "理科"), ("太鼓台（自作）", "音楽"),
               ("記念植樹プレート", "校務"), ("卒業制作作品", "図工"), ("学級文庫棚", "図書")]

# The school's nursing-care items: found in the reference files only by the name they contain.
NURSING = [("養護用車椅子", "保健"), ("養護用ベッド", "保健"), ("養護用担架", "保健"),
           ("養護用衝立", "保健"), ("養護教諭用事務机", "事務"), ("養護用体重計", "保健"),
           ("養護用血圧計", "保健"), ("養護学級用マット", "体育"), ("養護学級用木琴", "音楽"),
           ("養護用救急箱", "保健"), ("養護学級用タブレット端末", "視聴覚")]

UNITS = ["台", "個", "組", "式", "枚", "本", "脚", "張"]


def items():
    """(subject, name) in a fixed order."""
    for subject, names in SUBJECTS.items():
        for name in names.split():
            yield subject, name


def code(n):
    """Codes of every kind the files use: K and P codes, other letters, plain numbers, and
    now and then a lower-case or full-width one that the load turns into upper case and
    half-width form."""
    kind = n % 10
    if kind in (0, 1, 2, 3):
        text = f"K{100 + n}"
    elif kind in (4, 5):
        text = f"P{n}"
    elif kind == 6:
        text = "ABRSTZ"[n // 10 % 6] + str(n)
    elif kind == 7:
        text = str(5000 + n)
    elif kind == 8:
        text = f"k{100 + n}"
    else:
        text = f"Ｐ{n}".translate(str.maketrans("0123456789", "０１２３４５６７８９"))
    return text


def record(kind, name, code_text, key2, cls, n, val2=None):
    val2 = (n % 15) if val2 is None else val2
    return (f'"{kind}",{val2},"{name}","{code_text}","{key2}",{(n * 37) % 500 * 100},'
            f'"{UNITS[n % len(UNITS)]}",{n % 7},{n % 3},"{cls}","",0,0')


def write(name, header, lines):
    text = header + "\r\n" + "".join(line + "\r\n" for line in lines)
    (HERE / name).write_bytes(text.encode("cp932"))


def category_file():
    lines = []
    n = 0
    for subject in SUBJECTS:
        # A management record heads every subject; the merge never fills these.
        lines.append(record("管理", f"{subject}備品", code(n), subject, "", n, val2=0))
        n += 1
        for i, (s, name) in enumerate(x for x in items() if x[0] == subject):
            # Every fourth item was classified by hand already.
            cls = "学校独自" if i % 4 == 3 else ""
            lines.append(record("一般", name, code(n), s, cls, n))
            n += 1
    for name, subject in SCHOOL_ONLY + NURSING:
        lines.append(record("一般", name, code(n), subject, "", n))
        n += 1
    return lines


def reference_file(elementary):
    lines = []
    n = 0
    for i, (subject, name) in enumerate(items()):
        # The elementary file leaves out every fifth item, the junior-high file every third
        # one from another start: most items are in both, some in only one.
        if (elementary and i % 5 == 2) or (not elementary and i % 3 == 0):
            continue
        cls = CLASSES[subject] if elementary else J_CLASSES.get(subject, CLASSES[subject])
        lines.append(record("一般", name, code(n), subject, cls, n))
        n += 1
        # The management records of a reference file match like any other.
        if i % 40 == 0:
            lines.append(record("管理", f"{subject}備品", code(n), subject, "管理区分", n, 0))
            n += 1
    return lines


def main():
    kubun = category_file()
    write("KUBUN.KMT", f'1,{len(kubun)},0,"","",""', kubun)
    for elementary, name in ((True, "E_KUBUN.KMT"), (False, "J_KUBUN.KMT")):
        lines = reference_file(elementary)
        write(name, f'1,{len(lines)},0,"","",""', lines)
    # Five texts, two integers, the data directory; scripts/run-sample.sh rewrites the last.
    write("ZORVEL.SEW", '"みどり市立見本小学校","小学校","みどり市見本町一丁目1番1号",'
                        '"000-000-0000","見本　花子",2024,18,"C:\\SAMPLE\\DATA"', [])


if __name__ == "__main__":
    main()
