#!/usr/bin/python3
"""Random play of Kelvaron, headless on the virtual clock, reporting the game's peak resident size.

The key script is generated from a seed (rounds of stage choice, battle keys and Esc, then F12 at the
end), so the same seed plays the same game. Ten virtual minutes take about a minute of real time.

    tools/random_play.py --game build/game/kelvaron --seed 1 --minutes 10

Prints the peak resident size (the kernel's high-water mark of the finished process) and the exit status.
"""
import argparse
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile

# I and K move menu cursors: in a battle they are pressed only in pairs (below).
LETTERS = [chr(c) for c in range(ord("A"), ord("Z") + 1) if chr(c) not in "IK"]


def make_script(seed, minutes):
    """Rounds of play: pick a stage, fight for a while, leave with Esc.

    The stage cursor is moved only in the stage select and never through the menu's EXIT entry (the
    script knows where the cursor stands), so a random play does not end the game before its time. In a
    battle, I and K (cursor keys and letters both) come in quick pairs, which leave the stage cursor
    where it was should the battle end there.
    """
    rng = random.Random(seed)
    end_ms = minutes * 60_000
    lines = []
    t = 6000  # start-up and the title's fade are over by then
    cursor = 0

    def press(key, hold=None):
        nonlocal t
        lines.append(f"{t} key {key} down")
        lines.append(f"{t + (hold or rng.randint(30, 90))} key {key} up")
        t += rng.randint(120, 400)

    while t < end_ms - 5000:
        stage = rng.randint(0, 3)
        for _ in range(abs(stage - cursor)):
            press("K" if stage > cursor else "I")
        cursor = stage
        press("SPACE")
        battle_end = min(t + rng.randint(20_000, 90_000), end_ms - 3000)
        while t < battle_end:
            roll = rng.random()
            if roll < 0.15:
                press("SPACE")
            elif roll < 0.22:
                pair = ["K", "I"] if rng.random() < 0.5 else ["I", "K"]
                press(pair[0], 40)
                press(pair[1], 40)
            else:
                press(rng.choice(LETTERS))
        press("ESCAPE")
    t = max(t, end_ms)
    press("F12")
    return "\n".join(lines) + "\n"


def last_log_time(path):
    """The time stamp (ms) of the log's last line, 0 without a log."""
    last = 0
    if os.path.exists(path):
        with open(path, "rb") as f:
            for line in f:
                stamp = line.split(b":", 1)[0]
                if stamp.isdigit():
                    last = int(stamp)
    return last


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--game", default="build/game/kelvaron", help="the game's executable")
    parser.add_argument("--game-dir", default="game", help="the directory holding Data and Material")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--minutes", type=int, default=10, help="virtual minutes of play")
    parser.add_argument("--timeout", type=int, default=900, help="real seconds before the run is stopped")
    parser.add_argument("--keep-log", help="copy the game's Log.txt here")
    args = parser.parse_args()

    game = os.path.abspath(args.game)
    with tempfile.TemporaryDirectory(prefix="random-play-") as work:
        script = os.path.join(work, "play.txt")
        with open(script, "w") as f:
            f.write(make_script(args.seed, args.minutes))
        env = {k: v for k, v in os.environ.items() if not k.startswith("ORBEL_")}
        env.update(ORBEL_HOST="headless", ORBEL_HEADLESS_CLOCK="virtual", ORBEL_MESSAGEBOX_ANSWER="no",
                   ORBEL_HEADLESS_SCRIPT=script, ORBEL_RUNTIME_DIR=work)
        # The game reads ./Data and ./Material and writes ./Log.txt: it runs in the work directory.
        for name in ("Data", "Material"):
            os.symlink(os.path.abspath(os.path.join(args.game_dir, name)), os.path.join(work, name))
        proc = subprocess.Popen([game], cwd=work, env=env, stdout=subprocess.DEVNULL)
        try:
            proc.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            print("the run did not end in time", file=sys.stderr)
        # The only child reaped: its high-water mark of resident memory (VmHWM), in KiB on Linux.
        peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        log = os.path.join(work, "Log.txt")
        played_ms = last_log_time(log)
        if args.keep_log and os.path.exists(log):
            shutil.copyfile(log, args.keep_log)
    # A run that ended early (the game left through a menu) did not measure the whole play.
    print(f"peak resident {peak_kib / 1024:.1f} MB, played {played_ms / 1000:.0f} s of virtual time, "
          f"exit {proc.returncode}")
    return 0 if proc.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
