#!/usr/bin/python3
"""Makes every picture, sound effect and music loop of Kelvaron under game/Material.

Reproducible: the same script gives the same files (fixed seeds, no time stamps). Needs python3-pil,
python3-numpy, sox-free numpy synthesis, lame (the title music is a real MP3) and oggenc (enemy music).
Style: flat shapes with dark outlines and a soft top light, on black, which the game draws as
transparent where it asks for transparency.

    /usr/bin/python3 tools/assets/make_assets.py [output Material directory]
"""
import math
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np
from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "game", "Material")
GOTHIC = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"
RATE = 22050

# The letter order of the alphabet strip: the battle's letter table.
LETTERS = "QWEASDZXCUIOPJKLMRTYFGHVBN"
STAGE_KEYS = ["QWEASDZXC", "UIOPJKLM", "RTYFGHVBN", LETTERS]

INK = (24, 20, 36)


def font(size):
    return ImageFont.truetype(GOTHIC, size)


def save(img, *parts):
    path = os.path.join(OUT, *parts)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    img.convert("RGB").save(path, optimize=True)


def shade(color, k):
    return tuple(max(0, min(255, int(c * k))) for c in color)


# ---- Pictures -------------------------------------------------------------------------------------

def outlined_text(draw, xy, text, size, fill, outline=INK, width=3, anchor="la"):
    draw.text(xy, text, font=font(size), fill=fill, stroke_width=width, stroke_fill=outline, anchor=anchor)


def maker_logo():
    img = Image.new("RGB", (320, 120), (255, 255, 255))
    d = ImageDraw.Draw(img)
    # A small vane: three petals turning round a hub.
    cx, cy = 60, 60
    for k, col in enumerate([(86, 148, 230), (120, 200, 160), (240, 180, 90)]):
        a = k * 2 * math.pi / 3
        px, py = cx + 22 * math.cos(a), cy + 22 * math.sin(a)
        d.ellipse([px - 18, py - 18, px + 18, py + 18], fill=col, outline=INK, width=2)
    d.ellipse([cx - 8, cy - 8, cx + 8, cy + 8], fill=(255, 255, 255), outline=INK, width=2)
    d.text((110, 42), "LUMIVANE", font=font(34), fill=INK)
    d.text((112, 80), "game works", font=font(16), fill=(110, 110, 130))
    return img


def title_logo():
    img = Image.new("RGB", (400, 120), (0, 0, 0))
    d = ImageDraw.Draw(img)
    for y in range(120):  # a dusk band behind the letters
        t = y / 119
        d.line([(0, y), (399, y)], fill=(int(30 + 40 * t), int(18 + 10 * t), int(60 - 20 * t)))
    d.rounded_rectangle([2, 2, 397, 117], radius=16, outline=(230, 190, 90), width=3)
    outlined_text(d, (24, 22), "Kelvaron", 58, (255, 214, 96), width=4)
    outlined_text(d, (300, 16), "打", 76, (255, 96, 80), width=4)
    d.text((200, 96), "- typing battle -", font=font(14), fill=(200, 200, 230), anchor="mm")
    return img


def hero(body, hair, facing=1):
    """A small fighter, 96x96, on black."""
    img = Image.new("RGB", (96, 96), (0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse([20, 86, 76, 95], fill=(40, 40, 48))
    d.rounded_rectangle([30, 44, 66, 84], radius=10, fill=body, outline=INK, width=3)   # body
    d.rectangle([34, 76, 44, 92], fill=shade(body, 0.6), outline=INK, width=2)          # legs
    d.rectangle([52, 76, 62, 92], fill=shade(body, 0.6), outline=INK, width=2)
    fx = 48 + 22 * facing
    d.ellipse([fx - 9, 48, fx + 9, 64], fill=(250, 214, 180), outline=INK, width=2)     # fist
    d.ellipse([26, 8, 70, 50], fill=(250, 214, 180), outline=INK, width=3)              # head
    d.chord([24, 4, 72, 40], 180, 360, fill=hair, outline=INK, width=3)                 # hair
    ex = 48 + 8 * facing
    d.ellipse([ex - 3, 26, ex + 3, 34], fill=INK)
    d.ellipse([ex - 14 * facing - 3, 26, ex - 14 * facing + 3, 34], fill=INK)
    d.rectangle([26, 20, 70, 24], fill=(220, 60, 60))                                   # headband
    return img


def keyboard(stage):
    img = Image.new("RGB", (240, 56), (0, 0, 0))
    d = ImageDraw.Draw(img)
    rows = ["QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"]
    lit = set(STAGE_KEYS[stage])
    glow = [(110, 200, 255), (120, 230, 150), (255, 200, 90), (255, 130, 170)][stage]
    for r, row in enumerate(rows):
        x0 = 4 + r * 8
        for i, ch in enumerate(row):
            x, y = x0 + i * 23, 2 + r * 18
            on = ch in lit
            d.rounded_rectangle([x, y, x + 20, y + 16], radius=4,
                                fill=glow if on else (52, 52, 64), outline=(20, 20, 28), width=1)
            d.text((x + 10, y + 8), ch, font=font(13), fill=INK if on else (130, 130, 150), anchor="mm")
    return img


def alphabet():
    img = Image.new("RGB", (17 * 26, 32), (0, 0, 0))
    d = ImageDraw.Draw(img)
    for i, ch in enumerate(LETTERS):
        x = i * 17
        d.rounded_rectangle([x + 1, 3, x + 15, 29], radius=3, fill=(250, 240, 200), outline=(200, 120, 40), width=2)
        d.text((x + 8, 16), ch, font=font(17), fill=(60, 30, 20), anchor="mm")
    return img


def battle_player():
    img = Image.new("RGB", (240, 120), (0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([0, 0, 239, 119], radius=12, fill=(28, 34, 64), outline=(150, 170, 230), width=3)
    d.rounded_rectangle([8, 10, 80, 110], radius=8, fill=(46, 56, 96), outline=(110, 130, 200), width=2)
    portrait = hero((70, 120, 220), (60, 40, 30)).resize((72, 72), Image.NEAREST)
    img.paste(portrait, (8, 24))
    return img


# Sixteen enemies: (shape, size w h, body colour, accent, features). Stage k has enemies 4k..4k+3.
ENEMIES = [
    ("blob", 128, 104, (110, 210, 120), (60, 140, 70), "eyes2"),
    ("bat", 160, 96, (130, 100, 180), (80, 60, 120), "wings"),
    ("mushroom", 112, 128, (220, 80, 80), (250, 240, 220), "spots"),
    ("golem", 176, 200, (150, 140, 120), (100, 90, 80), "rocks"),
    ("ghost", 120, 140, (210, 220, 250), (150, 160, 210), "tail"),
    ("fish", 176, 112, (80, 170, 230), (40, 100, 170), "fins"),
    ("bird", 160, 150, (240, 190, 70), (220, 100, 50), "beak"),
    ("knight", 150, 220, (160, 170, 190), (70, 80, 120), "plume"),
    ("blob", 150, 120, (240, 150, 60), (190, 90, 30), "horns"),
    ("spider", 190, 120, (70, 60, 80), (200, 40, 60), "legs"),
    ("ghost", 140, 170, (150, 240, 200), (70, 170, 140), "crown"),
    ("dragon", 230, 220, (200, 60, 60), (250, 190, 80), "wings"),
    ("golem", 190, 210, (90, 110, 170), (220, 240, 255), "crystal"),
    ("bat", 210, 130, (60, 40, 70), (240, 60, 60), "fangs"),
    ("knight", 170, 235, (60, 60, 70), (230, 60, 90), "horns"),
    ("dragon", 240, 236, (90, 60, 160), (120, 240, 220), "crown"),
]


def eyes(d, cx, cy, gap, r, angry=False):
    for sx in (-1, 1):
        x = cx + sx * gap
        d.ellipse([x - r, cy - r, x + r, cy + r], fill=(255, 255, 255), outline=INK, width=2)
        d.ellipse([x - r // 2, cy - r // 3, x + r // 2, cy + r * 2 // 3], fill=INK)
        if angry:
            d.line([x - r - 2, cy - r - 2 - sx * 3, x + r + 2, cy - r - 2 + sx * 3], fill=INK, width=3)


def enemy_picture(k):
    shape, w, h, body, accent, feature = ENEMIES[k]
    img = Image.new("RGB", (w, h), (0, 0, 0))
    d = ImageDraw.Draw(img)
    cx = w // 2
    angry = k % 4 == 3
    hi = shade(body, 1.25)
    if shape == "blob":
        d.ellipse([6, h * 0.3, w - 6, h - 4], fill=body, outline=INK, width=3)
        d.ellipse([w * 0.25, h * 0.38, w * 0.45, h * 0.5], fill=hi)
        eyes(d, cx, int(h * 0.6), w // 7, max(6, w // 14), angry)
        d.arc([cx - 16, h * 0.66, cx + 16, h * 0.82], 10, 170, fill=INK, width=3)
    elif shape == "bat":
        for sx in (-1, 1):
            pts = [(cx, h * 0.45), (cx + sx * w * 0.48, h * 0.1), (cx + sx * w * 0.4, h * 0.55),
                   (cx + sx * w * 0.3, h * 0.45), (cx + sx * w * 0.2, h * 0.7)]
            d.polygon(pts, fill=accent, outline=INK)
        d.ellipse([cx - w * 0.17, h * 0.25, cx + w * 0.17, h * 0.85], fill=body, outline=INK, width=3)
        eyes(d, cx, int(h * 0.5), w // 14, max(5, w // 24), True)
        for sx in (-1, 1):
            d.polygon([(cx + sx * 8, h * 0.68), (cx + sx * 4, h * 0.8), (cx, h * 0.68)], fill=(255, 255, 255))
    elif shape == "mushroom":
        d.rounded_rectangle([cx - w * 0.22, h * 0.45, cx + w * 0.22, h - 4], radius=12,
                            fill=accent, outline=INK, width=3)
        d.pieslice([4, 4, w - 4, h * 0.75], 180, 360, fill=body, outline=INK, width=3)
        for (px, py, r) in [(0.3, 0.2, 9), (0.62, 0.14, 7), (0.72, 0.3, 8), (0.45, 0.3, 6)]:
            d.ellipse([w * px - r, h * py - r, w * px + r, h * py + r], fill=(255, 250, 240))
        eyes(d, cx, int(h * 0.62), w // 10, 6, angry)
    elif shape == "golem":
        d.rounded_rectangle([w * 0.2, h * 0.28, w * 0.8, h * 0.8], radius=14, fill=body, outline=INK, width=3)
        d.rounded_rectangle([w * 0.32, h * 0.04, w * 0.68, h * 0.32], radius=10, fill=body, outline=INK, width=3)
        for sx in (-1, 1):
            ax = cx + sx * w * 0.4
            d.rounded_rectangle([ax - w * 0.1, h * 0.3, ax + w * 0.1, h * 0.72], radius=10,
                                fill=accent, outline=INK, width=3)
            d.rounded_rectangle([cx + sx * w * 0.18 - 14, h * 0.78, cx + sx * w * 0.18 + 14, h - 3],
                                radius=6, fill=accent, outline=INK, width=3)
        glow = (255, 220, 90) if feature == "rocks" else accent
        d.rectangle([cx - w * 0.12, h * 0.15, cx + w * 0.12, h * 0.2], fill=glow)
        if feature == "crystal":
            d.polygon([(cx, h * 0.36), (cx + 18, h * 0.52), (cx, h * 0.68), (cx - 18, h * 0.52)],
                      fill=accent, outline=INK)
        else:
            for (px, py) in [(0.35, 0.45), (0.6, 0.6), (0.42, 0.66)]:
                d.ellipse([w * px - 6, h * py - 6, w * px + 6, h * py + 6], fill=shade(body, 0.7))
    elif shape == "ghost":
        d.pieslice([8, 6, w - 8, h * 0.8], 180, 360, fill=body, outline=INK, width=3)
        d.rectangle([8, h * 0.43, w - 8, h * 0.8], fill=body)
        n = 4
        for i in range(n):
            x0 = 8 + (w - 16) * i / n
            d.pieslice([x0, h * 0.7, x0 + (w - 16) / n, h * 0.95], 0, 180, fill=body)
        d.line([8, h * 0.43, 8, h * 0.8], fill=INK, width=3)
        d.line([w - 8, h * 0.43, w - 8, h * 0.8], fill=INK, width=3)
        eyes(d, cx, int(h * 0.4), w // 7, 8, angry)
        d.ellipse([cx - 8, h * 0.52, cx + 8, h * 0.62], fill=INK)
        if feature == "crown":
            d.polygon([(cx - 24, 22), (cx - 24, 4), (cx - 12, 14), (cx, 0), (cx + 12, 14), (cx + 24, 4),
                       (cx + 24, 22)], fill=(250, 210, 60), outline=INK)
    elif shape == "fish":
        d.polygon([(w * 0.78, h * 0.5), (w - 4, h * 0.15), (w - 4, h * 0.85)], fill=accent, outline=INK)
        d.ellipse([6, h * 0.12, w * 0.82, h * 0.88], fill=body, outline=INK, width=3)
        d.polygon([(w * 0.35, h * 0.14), (w * 0.5, 2), (w * 0.6, h * 0.16)], fill=accent, outline=INK)
        d.ellipse([w * 0.2 - 10, h * 0.38 - 10, w * 0.2 + 10, h * 0.38 + 10], fill=(255, 255, 255), outline=INK, width=2)
        d.ellipse([w * 0.2 - 4, h * 0.38 - 4, w * 0.2 + 4, h * 0.38 + 4], fill=INK)
        for i in range(3):
            d.arc([w * (0.35 + 0.1 * i), h * 0.3, w * (0.5 + 0.1 * i), h * 0.7], 300, 60, fill=shade(body, 0.7), width=3)
    elif shape == "bird":
        d.ellipse([w * 0.2, h * 0.25, w * 0.8, h * 0.9], fill=body, outline=INK, width=3)
        for sx in (-1, 1):
            d.polygon([(cx + sx * w * 0.25, h * 0.45), (cx + sx * w * 0.49, h * 0.3),
                       (cx + sx * w * 0.4, h * 0.7)], fill=accent, outline=INK)
        eyes(d, cx, int(h * 0.45), w // 10, 8, angry)
        d.polygon([(cx - 10, h * 0.55), (cx + 10, h * 0.55), (cx, h * 0.68)], fill=accent, outline=INK)
        d.polygon([(cx - 10, h * 0.27), (cx, 4), (cx + 10, h * 0.27)], fill=accent, outline=INK)
    elif shape == "knight":
        d.rounded_rectangle([w * 0.22, h * 0.32, w * 0.78, h * 0.82], radius=10, fill=body, outline=INK, width=3)
        d.rounded_rectangle([w * 0.3, h * 0.08, w * 0.7, h * 0.34], radius=14, fill=shade(body, 1.1), outline=INK, width=3)
        d.rectangle([w * 0.34, h * 0.18, w * 0.66, h * 0.22], fill=INK)
        d.ellipse([w * 0.4, h * 0.18, w * 0.46, h * 0.22], fill=accent)
        d.ellipse([w * 0.54, h * 0.18, w * 0.6, h * 0.22], fill=accent)
        d.rectangle([w * 0.3, h * 0.8, w * 0.45, h - 3], fill=shade(body, 0.7), outline=INK, width=2)
        d.rectangle([w * 0.55, h * 0.8, w * 0.7, h - 3], fill=shade(body, 0.7), outline=INK, width=2)
        d.rectangle([w * 0.84, h * 0.1, w * 0.88, h * 0.75], fill=(220, 220, 230), outline=INK)   # sword
        d.rectangle([w * 0.78, h * 0.6, w * 0.94, h * 0.64], fill=accent, outline=INK)
        d.polygon([(w * 0.02, h * 0.4), (w * 0.26, h * 0.4), (w * 0.24, h * 0.65), (w * 0.14, h * 0.75),
                   (w * 0.04, h * 0.65)], fill=accent, outline=INK)                              # shield
        if feature == "horns":
            for sx in (-1, 1):
                d.polygon([(cx + sx * w * 0.15, h * 0.12), (cx + sx * w * 0.3, 2), (cx + sx * w * 0.2, h * 0.16)],
                          fill=(240, 230, 200), outline=INK)
        else:
            d.polygon([(cx - 6, h * 0.08), (cx + 20, 2), (cx + 6, h * 0.1)], fill=accent, outline=INK)
    elif shape == "spider":
        for i in range(4):
            for sx in (-1, 1):
                y = h * (0.35 + 0.12 * i)
                d.line([cx, y, cx + sx * w * 0.3, y - h * 0.25, cx + sx * w * 0.48, h - 4], fill=INK, width=6)
                d.line([cx, y, cx + sx * w * 0.3, y - h * 0.25, cx + sx * w * 0.48, h - 4], fill=body, width=3)
        d.ellipse([cx - w * 0.2, h * 0.25, cx + w * 0.2, h * 0.85], fill=body, outline=INK, width=3)
        d.polygon([(cx, h * 0.45), (cx + 10, h * 0.55), (cx, h * 0.65), (cx - 10, h * 0.55)], fill=accent)
        for i, ex in enumerate([-12, -4, 4, 12]):
            d.ellipse([cx + ex - 3, h * 0.32 - 3, cx + ex + 3, h * 0.32 + 3], fill=accent)
    elif shape == "dragon":
        for sx in (-1, 1):
            d.polygon([(cx + sx * w * 0.1, h * 0.4), (cx + sx * w * 0.49, h * 0.08), (cx + sx * w * 0.42, h * 0.35),
                       (cx + sx * w * 0.48, h * 0.5), (cx + sx * w * 0.2, h * 0.6)], fill=accent, outline=INK)
        d.ellipse([w * 0.28, h * 0.38, w * 0.72, h * 0.95], fill=body, outline=INK, width=3)
        d.ellipse([w * 0.38, h * 0.52, w * 0.62, h * 0.9], fill=shade(accent, 1.0))
        d.ellipse([w * 0.33, h * 0.08, w * 0.67, h * 0.42], fill=body, outline=INK, width=3)
        for sx in (-1, 1):
            d.polygon([(cx + sx * w * 0.08, h * 0.12), (cx + sx * w * 0.16, 2), (cx + sx * w * 0.14, h * 0.14)],
                      fill=(240, 230, 200), outline=INK)
        eyes(d, cx, int(h * 0.22), w // 14, 7, True)
        d.rectangle([cx - 14, h * 0.32, cx + 14, h * 0.35], fill=INK)
        if feature == "crown":
            d.polygon([(cx - 20, h * 0.1), (cx - 20, 0), (cx, h * 0.06), (cx + 20, 0), (cx + 20, h * 0.1)],
                      fill=(250, 210, 60), outline=INK)
    return img


# ---- Sound ----------------------------------------------------------------------------------------

def note_freq(n):
    return 440.0 * 2 ** ((n - 69) / 12)


def env(n, attack=0.005, release=0.05):
    a, r = max(1, int(attack * RATE)), max(1, int(release * RATE))
    e = np.ones(n)
    e[:a] = np.linspace(0, 1, a)
    e[-r:] = np.minimum(e[-r:], np.linspace(1, 0, r))
    return e


def write_wav(path, samples):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = (np.clip(samples, -1, 1) * 32000).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data.tobytes())


def tone(freq0, freq1, secs, kind="square", decay=8.0):
    n = int(secs * RATE)
    t = np.arange(n) / RATE
    f = np.linspace(freq0, freq1, n)
    phase = 2 * np.pi * np.cumsum(f) / RATE
    wave_ = np.sign(np.sin(phase)) * 0.5 if kind == "square" else np.sin(phase)
    return wave_ * np.exp(-decay * t) * env(n)


def noise(secs, decay, seed, lowpass=1):
    rng = np.random.default_rng(seed)
    n = int(secs * RATE)
    x = rng.uniform(-1, 1, n)
    if lowpass > 1:
        x = np.convolve(x, np.ones(lowpass) / lowpass, mode="same") * math.sqrt(lowpass)
    return x * np.exp(-decay * np.arange(n) / RATE) * env(n)


def effects():
    se = {
        "select": tone(880, 1320, 0.06, "square", 20) * 0.5,
        "push": np.concatenate([tone(660, 660, 0.05, "square", 10), tone(990, 990, 0.1, "square", 12)]) * 0.5,
        "push2": tone(1200, 900, 0.08, "square", 15) * 0.5,
        "push3": np.concatenate([tone(700, 700, 0.06, "square", 10), tone(470, 470, 0.12, "square", 10)]) * 0.5,
        "punch": noise(0.12, 30, 1, 6) * 0.8 + tone(180, 60, 0.12, "sine", 20) * 0.7,
        "kick": noise(0.2, 18, 2, 3) * 0.6 + tone(260, 50, 0.2, "sine", 10) * 0.9,
        "charge": tone(400, 1400, 0.18, "square", 4) * 0.4,
        "killer_shot": noise(0.6, 5, 3, 2) * 0.7 + tone(900, 80, 0.6, "square", 3) * 0.4,
        "damage": noise(0.3, 10, 4, 12) * 0.9 + tone(120, 40, 0.3, "square", 8) * 0.4,
    }
    for name, s in se.items():
        write_wav(os.path.join(OUT, "SE", name + ".wav"), s)


def song(seed, bpm, scale, bars, lead_kind, bass_oct=36, mood=0):
    """A short loop: bass, chords and a lead over whole bars; every note decays to silence within its
    bar, so the loop joins without a click."""
    rng = np.random.default_rng(seed)
    beat = 60.0 / bpm
    step = beat / 2
    steps = bars * 8
    total = int(round(steps * step * RATE))
    out = np.zeros(total + RATE)
    prog = [[0, 4], [5, 9], [3, 7], [4, 8]][: max(1, bars)]
    prog = [[0, 2, 4], [5, 0, 2], [3, 5, 0], [4, 6, 1]]

    def put(start_step, midi, dur_steps, amp, kind):
        i0 = int(round(start_step * step * RATE))
        n = int(dur_steps * step * RATE)
        t = np.arange(n) / RATE
        ph = 2 * np.pi * note_freq(midi) * t
        if kind == "square":
            w = np.sign(np.sin(ph)) * 0.35
        elif kind == "tri":
            w = 2 / np.pi * np.arcsin(np.sin(ph))
        else:
            w = np.sin(ph) + 0.3 * np.sin(2 * ph)
        out[i0:i0 + n] += w * amp * env(n, 0.004, min(0.08, n / RATE / 3)) * np.exp(-2.5 * t)

    def deg(d, octave):
        return octave + scale[d % len(scale)] + 12 * (d // len(scale))

    for bar in range(bars):
        chord = prog[bar % 4]
        for s in range(8):
            put(bar * 8 + s, deg(chord[0], bass_oct + 12 * (s % 2)), 1, 0.35, "tri")
        for s in (0, 4):
            for c in chord:
                put(bar * 8 + s, deg(c, 60), 4, 0.07, "sine")
        d = chord[0] + 7
        for s in range(8):
            if rng.random() < 0.7 or s == 0:
                d += int(rng.choice([-2, -1, 1, 2, 0]))
                d = max(5, min(13, d))
                if s in (0, 4):
                    d = chord[int(rng.integers(0, 3))] + 7
                put(bar * 8 + s, deg(d, 60), 1 if rng.random() < 0.6 else 2, 0.22, lead_kind)
        for s in range(8):  # a soft hat on the off beats
            i0 = int(round((bar * 8 + s) * step * RATE))
            n = int(0.03 * RATE)
            if s % 2 == 1:
                out[i0:i0 + n] += np.random.default_rng(seed + bar * 8 + s).uniform(-1, 1, n) * 0.05 * np.linspace(1, 0, n)
    # Fold the overhang of the last notes onto the start so the loop is seamless.
    out[:RATE] += out[total:total + RATE]
    out = out[:total]
    return out / max(1e-6, np.max(np.abs(out))) * 0.8


MAJOR = [0, 2, 4, 5, 7, 9, 11]
MINOR = [0, 2, 3, 5, 7, 8, 10]
DORIAN = [0, 2, 3, 5, 7, 9, 10]


def encode(samples, path, kind):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "loop.wav")
        write_wav(wav, samples)
        if kind == "mp3":
            subprocess.run(["lame", "--quiet", "-m", "m", "-b", "48", "--resample", "22.05", wav, path], check=True)
        else:
            subprocess.run(["oggenc", "-Q", "-q", "1", "-s", "16", "-o", path, wav], check=True)


def music():
    encode(song(11, 112, MAJOR, 8, "square"), os.path.join(OUT, "BGM", "oukasiro.mp3"), "mp3")
    themes = [(21, 132, MAJOR, "square"), (22, 124, DORIAN, "tri"), (23, 140, MINOR, "square"), (24, 150, MINOR, "tri")]
    for stage, (seed, bpm, scale, lead) in enumerate(themes):
        encode(song(seed, bpm, scale, 4, lead), os.path.join(OUT, "BGM", "stage%d.ogg" % (stage + 1)), "ogg")
        encode(song(seed + 10, bpm + 16, MINOR, 4, "square", 33), os.path.join(OUT, "BGM", "boss%d.ogg" % (stage + 1)), "ogg")


def pictures():
    save(maker_logo(), "Graphic", "Title", "lumivane.png")
    save(title_logo(), "Graphic", "Title", "kelvaronDA.png")
    # 64 px wide, so the fighters stand clear of the keyboard between them.
    save(hero((70, 120, 220), (60, 40, 30), 1).crop((16, 0, 80, 96)), "Graphic", "Title", "player.png")
    save(hero((220, 90, 90), (240, 200, 80), -1).crop((16, 0, 80, 96)), "Graphic", "Title", "player2.png")
    for s in range(4):
        save(keyboard(s), "Graphic", "Title", "keyboard%d.png" % s)
    save(alphabet(), "Graphic", "Battle", "alphabet.png")
    save(battle_player(), "Graphic", "Battle", "player.png")
    for k in range(16):
        save(enemy_picture(k), "Graphic", "Enemy", "enemy%02d.png" % k)


if __name__ == "__main__":
    pictures()
    effects()
    music()
    print("assets written to", OUT)
