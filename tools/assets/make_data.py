#!/usr/bin/python3
"""Writes Kelvaron's data files under game/Data: colours, fonts and the sixteen enemies.

The files are Shift-JIS with CR LF line ends, as the game reads them. Labels have the fixed widths the
game skips: 3 bytes in color.txt, 10 in font.txt, 8 in the enemy files.

    /usr/bin/python3 tools/assets/make_data.py [output Data directory]
"""
import os
import sys

from make_assets import ENEMIES

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "game", "Data")

COLORS = [
    ("C0 text, title background", (255, 255, 255)),
    ("C1 spare", (128, 128, 128)),
    ("C2 highlight, gauge background, preview outline", (255, 72, 72)),
    ("C3 gauge fill, command help", (96, 232, 96)),
    ("C4 help line, estimate", (136, 200, 255)),
]

FONTS = [
    ("FONT0 spare", 16, "QV_FONTTYPE_NORMAL"),
    ("FONT1 spare", 16, "QV_FONTTYPE_EDGE"),
    ("FONT2 stage-select menu", 24, "QV_FONTTYPE_ANTIALIASING_EDGE"),
    ("FONT3 banners and command menu", 18, "QV_FONTTYPE_ANTIALIASING_EDGE"),
]

# name, HP, attack, defence. Stage 1 is gentle (defend holds off every attack); stage 4 hurts.
STATS = [
    ("ミドリスライム", 40, 30, 0), ("ヨルコウモリ", 50, 35, 1), ("ベニキノコ", 60, 40, 2),
    ("イワノモリビト", 90, 55, 3),
    ("ユラメキ", 70, 45, 2), ("アオザカナ", 80, 50, 3), ("ヒノトリ", 90, 58, 3), ("ハガネノキシ", 120, 66, 4),
    ("ダイダイスライム", 100, 62, 4), ("クログモ", 110, 68, 5), ("ユウレイオウ", 130, 72, 5),
    ("アカリュウ", 160, 82, 6),
    ("ヒョウガゴーレム", 170, 78, 6), ("チスイオオコウモリ", 180, 86, 6), ("ヤミノキシ", 200, 92, 7),
    ("マオウリュウ", 240, 100, 7),
]


def write(path, lines):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("cp932"))


def main():
    lines = []
    for label, (r, g, b) in COLORS:
        lines += [label, "R: %d" % r, "G: %d" % g, "B: %d" % b]
    write(os.path.join(OUT, "Color", "color.txt"), lines)

    lines = []
    for label, size, kind in FONTS:
        lines += [label, "FACE     :NULL", "SIZE     :%d" % size, "THICK    :6", "TYPE     :" + kind]
    write(os.path.join(OUT, "Font", "font.txt"), lines)

    for k, (name, hp, attack, defence) in enumerate(STATS):
        stage, index = divmod(k, 4)
        _, w, h, _, _, _ = ENEMIES[k]
        music = "boss%d.ogg" % (stage + 1) if index == 3 else "stage%d.ogg" % (stage + 1)
        write(os.path.join(OUT, "Enemy", "enemy%02d.txt" % k), [
            "NAME   :" + name,
            "HP     :%d" % hp,
            "ATTACK :%d" % attack,
            "DEFENCE:%d" % defence,
            "GRAPH  :./Material/Graphic/Enemy/enemy%02d.png" % k,
            "WIDTH  :%d" % w,
            "HEIGHT :%d" % h,
            "BGM    :./Material/BGM/" + music,
        ])
    print("data written to", OUT)


if __name__ == "__main__":
    main()
