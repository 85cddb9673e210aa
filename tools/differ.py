#!/usr/bin/env python3
"""Compares two tallowc executables on random MML programs, byte for byte.

    tools/differ.py REFERENCE CANDIDATE [--count N] [--seed S] [--keep DIR] [--line-ends]

Each program is written to a fresh directory (with a tone bank and an
include file), compiled by both executables with the same arguments, and
the exit status, standard output, standard error and every file left
behind (KRB, FMB) are compared.  The programs cover the whole language:
notes with every kind of length, accidentals, ties and gates, rests,
octaves, transposition, detune, tempo commands, volumes, pan, tones,
register writes, FM operator and KR3 commands, chords, portamento, both
kinds of loops with escapes, envelopes, keyword redefinitions, macros,
braces, conditionals, includes and errors of every stage.  It is a tool for
work that must not change a byte (optimisation, restructuring), not a test
of the rules themselves.

With --line-ends the programs (the same ones as without it) are written with
line ends of every kind: CR LF, LF, stray CRs, CR CR LF, and now and then a
0x1A that ends the text, so that the reading of lines is compared too.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

NOTES = ["c", "d", "e", "f", "g", "a", "b"]
ACCIDENTALS = ["", "", "", "+", "-", "#", "++", "=", " +"]
LENGTHS = ["", "", "4", "8", "16", "2", "1", "3", "5", "0", "4.", "8..", "%12", "%1", "4~8",
           "8~16.", "%7~4", "32", "64", "192", " 4", "4 .", "%0", "65536", "~"]
PARTS = ["1", "2", "3", "4", "5", "6", "A", "B", "C", "D", "E", "F", "G", "H", "X"]


def note(r):
    text = r.choice(NOTES) + r.choice(ACCIDENTALS) + r.choice(LENGTHS)
    roll = r.random()
    if roll < 0.12:
        text += "&"
    elif roll < 0.16:
        text += "_" + r.choice(["", ">", "<"]) + r.choice(NOTES) + r.choice(LENGTHS)
        if r.random() < 0.4:
            text += "," + r.choice(["%1", "8", "4"]) + "," + str(r.randint(0, 300))
            text += "," + str(r.randint(0, 9)) + "," + str(r.randint(-14, 14))
        if r.random() < 0.3:
            text += "&"
    return text


SAFE_LENGTHS = ["", "", "4", "8", "16", "2", "1", "4.", "8.", "%12", "4~8", "16", "%24"]


def safe_note(r):
    text = r.choice(NOTES) + r.choice(["", "", "+", "-"]) + r.choice(SAFE_LENGTHS)
    roll = r.random()
    if roll < 0.15:
        text += "&"
    elif roll < 0.2:
        text += "_" + r.choice(NOTES) + r.choice(["4", "8", "2"])
    return text


def safe_command(r, fm):
    """A command that compiles on any part (FM-only ones only when `fm`)."""
    choices = [
        lambda: safe_note(r), lambda: safe_note(r), lambda: safe_note(r), lambda: safe_note(r),
        lambda: safe_note(r), lambda: "r" + r.choice(SAFE_LENGTHS),
        lambda: "o" + str(r.randint(2, 6)), lambda: r.choice([">", "<", "^"]),
        lambda: "l" + r.choice(SAFE_LENGTHS),
        lambda: r.choice(["k", "K"]) + str(r.randint(-5, 5)),
        lambda: r.choice(["u", "U"]) + str(r.randint(-300, 300)),
        lambda: r.choice(["t%d" % r.randint(60, 300), "T%d" % r.randint(100, 1000),
                          "TB%d" % r.randint(0, 255), "@t%d" % r.randint(-10, 10)]),
        lambda: r.choice(["q%d" % r.randint(0, 8), "'%d" % r.randint(0, 8),
                          "Q%d" % r.randint(0, 200), "@q%d" % r.randint(0, 20)]),
        lambda: r.choice(["v%d" % r.randint(0, 15), "v#%d" % r.randint(0, 127),
                          "V%d" % r.randint(-20, 20), "v+", "v-2", "v+#9", "]", "[#",
                          "!%d" % r.randint(0, 15), "!#90", "!+", "@r3", "@r#40"]),
        lambda: r.choice(["%c", "%l", "%r"]) + r.choice(["", str(r.randint(0, 15))]),
        lambda: "@v%" + str(r.randint(0, 200)),
        lambda: "@" + str(r.randint(1, 9)),
        lambda: r.choice(["p3", "@e7", "W1", "M%d" % r.randint(0, 2), "S%d" % r.randint(0, 3),
                          "X%d" % r.randint(0, 2), "X0"]),
        lambda: r.choice(["@T1,2", "@L3,4", "@K1,2,3", "@S1,-2,3", "w10,0,2,5", "@Q5",
                          "@WP1,0,1,2,3", "@FD-100", "@f3", "@tl1,-1,2,-2", "@ar1,2,3,4"]),
        lambda: "Y%d,%d" % (r.randint(0, 255), r.randint(0, 255)),
        lambda: (r.choice(["@TL", "@DT", "@ML", "@AR", "@DR", "@SR", "@KS", "@AM", "@EG"]) +
                 "%d,%d" % (r.randint(1, 4), r.randint(0, 1))) if fm else "@v50",
        lambda: (r.choice(["@FB", "@AL", "@AMS", "@PMS"]) + str(r.randint(0, 3))) if fm else "v9",
        lambda: "(" + " ".join(safe_note(r) for _ in range(r.randint(1, 3))) +
        r.choice(["", ":" + safe_note(r)]) + ")" + r.choice(["", "2", "3"]),
        lambda: "@p " + " ".join(safe_note(r) for _ in range(r.randint(1, 3))) +
        r.choice(["", " :" + safe_note(r)]) + " @j" + r.choice(["", "0", "2", "4"]),
    ]
    return r.choice(choices)()


def command(r):
    choices = [
        lambda: note(r), lambda: note(r), lambda: note(r), lambda: note(r),
        lambda: "r" + r.choice(LENGTHS),
        lambda: "o" + str(r.choice([r.randint(2, 6), r.randint(0, 9)])),
        lambda: r.choice([">", "<", "^"]),
        lambda: "l" + r.choice(LENGTHS),
        lambda: r.choice(["k", "K", "@k", "@y"]) + str(r.randint(-20, 20)),
        lambda: r.choice(["u", "@u", "U"]) + str(r.randint(-300, 300)),
        lambda: r.choice(["t%d" % r.randint(60, 300), "T%d" % r.randint(0, 1023),
                          "TB%d" % r.randint(0, 255), "@t%d" % r.randint(-20, 20),
                          "%%t%d" % r.randint(20, 4883), "t%d" % r.randint(0, 400)]),
        lambda: r.choice(["q", "'", "Q", "q#", "@q"]) + str(r.randint(0, 300)),
        lambda: r.choice(["v", "v#", "@v", "V", "v+", "v-", "v+#", "v-#", "]", "[", "]#", "[#",
                          "!", "!#", "!+", "!-", "@r", "@r#"]) + r.choice(["", str(r.randint(0, 130))]),
        lambda: "%v" + str(r.randint(0, 15)) + "," + str(r.randint(0, 127)),
        lambda: r.choice(["%c", "%l", "%r"]) + r.choice(["", str(r.randint(-70, 70))]),
        lambda: "@v%" + str(r.randint(0, 210)),
        lambda: "@" + str(r.randint(0, 9)),
        lambda: r.choice(["p", "@e", "@x", "@X", "W", "M", "S", "X"]) + str(r.randint(0, 3)),
        lambda: r.choice(["@T", "@L"]) + "%d,%d" % (r.randint(0, 127), r.randint(0, 127)),
        lambda: r.choice(["@K", "@S", "@kp", "@ks"]) + "%d,%d,%d" % (
            r.randint(0, 127), r.randint(-128, 127), r.randint(0, 15)),
        lambda: "w%d,%d,%d,%d" % (r.randint(0, 255), r.randint(0, 127), r.randint(0, 60),
                                  r.randint(0, 255)),
        lambda: r.choice(["y%d,%d,%d" % (r.randint(0, 1), r.randint(0, 255), r.randint(0, 255)),
                          "Y%d,%d" % (r.randint(0, 255), r.randint(0, 255))]),
        lambda: r.choice(["@TL", "@DT", "@ML", "@AR", "@DR", "@SR", "@KS", "@AM", "@EG"]) +
        "%d,%d" % (r.randint(1, 4), r.randint(0, 31)),
        lambda: r.choice(["@FB", "@AL", "@AMS", "@PMS"]) + str(r.randint(0, 7)),
        lambda: r.choice(["@M1", "@M2", "\"ceg\"4", "\"c>e\"8&", "\"r\"", "@Q%d" % r.randint(0, 99),
                          "@N1", "@f%d" % r.randint(-5, 5), "@FD-100", "@WP1,0,1,2,3",
                          "@WA5,1,2,3,4,5", "@B1,2,3,4", "@D1,2,3,4", "@C1,2,3,4",
                          "@tl1,-1,2,-2", "@ar1,2,3,4"]),
        lambda: "(" + " ".join(note(r) for _ in range(r.randint(1, 3))) +
        r.choice(["", ":" + note(r)]) + ")" + r.choice(["", "2", "3", "1"]),
        lambda: "@p " + " ".join(note(r) for _ in range(r.randint(1, 3))) +
        r.choice(["", " :", " :3", " :" + note(r)]) + " @j" + r.choice(["", "0", "1", "2", "4"]),
        lambda: r.choice(["&", "_", "~", "*", "|1", "|!2", "|", "z", "5"]),
    ]
    return r.choice(choices)()


def header(r):
    return r.choice([
        ".zenlen %d" % r.choice([96, 192, 384, 768, 48, 100]),
        ".qwidth %d" % r.randint(1, 256), ".keywidth %d" % r.choice([0, 0, 16, 64, 100]),
        ".krbtype %d" % r.choice([2, 3, 3]), ".panfix 1", ".vstart %d" % r.randint(0, 1),
        ".playcount 2", ".title Song %d" % r.randint(0, 99), ".artist me", ".warning 1",
        ".env %d %s" % (r.randint(1, 3), r.choice(["v10 r2", "L r3 v#90 r2", "r1' u5 r2", "k2 r1",
                                                   "%l r2 @TL1,20 r1", "v+ r2 [3 r1", "L v10"])),
        ".MML 67 zz", ".MML 16 n1", ".MML 203 Z", ".EML 20 s", ".CMD 59 .x",
        ".discomp %d" % r.randint(0, 1), ".headstr 123456ABCDEFGHX", ".ignore B",
        ".fmbfile bank", ".krbfile out", "#define M%d c4 d" % r.randint(0, 3),
    ])


def program(r):
    if r.random() < 0.7:
        return clean_program(r)
    lines = []
    for _ in range(r.randint(1, 12)):
        roll = r.random()
        if roll < 0.25:
            lines.append(header(r))
        elif roll < 0.3:
            lines.append(r.choice(["{c d}3", "$M0 $M1", "#ifdef M0", "#else", "#endif",
                                   "#include inc.mml", "#with 1", "#endwith", "; comment",
                                   "1 c4 ; comment / more", "1 {c e}2 g", ".end"]))
        else:
            parts = "".join(r.sample(PARTS, r.randint(1, 3)))
            lines.append(parts + " " + " ".join(command(r) for _ in range(r.randint(1, 10))))
    text = "\n".join(lines)
    return text + ("\n" if r.random() < 0.9 else "")


def clean_program(r):
    """A program that mostly compiles: valid ranges, FM-only commands on FM parts."""
    lines = [r.choice([".zenlen 192", ".zenlen 384", ".zenlen 96", ""]),
             r.choice([".keywidth 64", "", ""]), ".env 1 v10 r2 L v#90 r3", ".env 2 %l r1 k1 r2"]
    for _ in range(r.randint(2, 20)):
        roll = r.random()
        if roll < 0.05:
            lines.append(r.choice(["#define M0 c4 d", "1 $M0 e", "2 {c e}2 g", "; comment"]))
        elif roll < 0.1:
            lines.append("3 @M1 \"ceg\"4 \"c>e\"8&\"ce\"8")
        else:
            fm = r.random() < 0.5
            parts = r.choice(PARTS[:6] if fm else PARTS)
            lines.append(parts + " " + " ".join(safe_command(r, fm) for _ in range(r.randint(4, 24))))
    return "\n".join(line for line in lines if line) + "\n"


def run(binary, directory, args):
    for name in os.listdir(directory):
        if name.upper().endswith((".KRB", ".FMB")) and name != "bank.FMB":
            os.remove(os.path.join(directory, name))
    # The contract under comparison: the C locale and no TALLOWC_* variable,
    # whatever the calling shell's locale says.
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("LC_", "TALLOWC_")) and k not in ("LANG", "KRHPATH", "FMINST")}
    env.update(LC_ALL="C", TMPDIR=directory)
    result = subprocess.run([binary] + args, cwd=directory, capture_output=True, env=env,
                            timeout=60)
    files = {}
    for name in sorted(os.listdir(directory)):
        if name.upper().endswith((".KRB", ".FMB")):
            with open(os.path.join(directory, name), "rb") as f:
                files[name] = f.read()
    return result.returncode, result.stdout, result.stderr, files


def mixed_line_ends(text, r):
    out = []
    for line in text.split("\n"):
        if r.random() < 0.05:
            cut = r.randrange(len(line) + 1)
            line = line[:cut] + r.choice(["\r", "\r\r", "\x1a"]) + line[cut:]
        out.append(line)
        out.append(r.choice(["\r\n", "\r\n", "\r\n", "\n", "\r\r\n"]))
    return "".join(out[:-1]) + ("\r" if r.random() < 0.1 else "")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("reference")
    parser.add_argument("candidate")
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", help="write failing programs to this directory")
    parser.add_argument("--line-ends", action="store_true", help="mix the kinds of line end")
    a = parser.parse_args()
    a.reference = os.path.abspath(a.reference)
    a.candidate = os.path.abspath(a.candidate)
    r = random.Random(a.seed)
    bank = bytes(r.randrange(256) for _ in range(6152))
    ends = random.Random(a.seed + 1)
    failures = 0
    compiled = 0
    for i in range(a.count):
        directory = tempfile.mkdtemp(prefix="differ-")
        try:
            text = program(r)
            if a.line_ends:
                text = mixed_line_ends(text, ends)
            with open(os.path.join(directory, "song.mml"), "w", encoding="cp932", newline="") as f:
                f.write(text)
            with open(os.path.join(directory, "inc.mml"), "w") as f:
                f.write("1 c8 d8\n#define INC e\n")
            with open(os.path.join(directory, "bank.FMB"), "wb") as f:
                f.write(bank)
            args = ["song.mml"] + r.choice([[], [], ["/n"], ["/detail"], ["/lock"]])
            want = run(a.reference, directory, args)
            got = run(a.candidate, directory, args)
            compiled += want[0] == 0
            if want != got:
                failures += 1
                print("program %d differs: %r" % (i, text[:200]))
                if a.keep:
                    os.makedirs(a.keep, exist_ok=True)
                    shutil.copy(os.path.join(directory, "song.mml"),
                                os.path.join(a.keep, "differ%d.mml" % i))
        finally:
            shutil.rmtree(directory, ignore_errors=True)
    print("%d programs (%d compiled without error), %d differ" % (a.count, compiled, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
