#!/usr/bin/env bash
# Synthesises the app's four feedback sounds with sox: 44.1 kHz, 16-bit, mono WAV, each well under a second.
# Run it from anywhere to regenerate the committed files: resources/sounds/generate.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
fmt=(-r 44100 -c 1 -b 16 -e signed-integer)

# Blow (recording starts): a soft rising two-note chime.
sox -n "${fmt[@]}" blow-a.wav synth 0.09 sine 587 fade h 0.005 0.09 0.03 vol 0.45
sox -n "${fmt[@]}" blow-b.wav synth 0.16 sine 880 sine 1760 remix 1,2 fade h 0.005 0.16 0.12 vol 0.4
sox blow-a.wav blow-b.wav "${fmt[@]}" Blow.wav
rm blow-a.wav blow-b.wav

# Glass (recording stops): a short bright "ting" with a ringing tail.
sox -n "${fmt[@]}" Glass.wav synth 0.45 sine 1568 sine 3136 remix 1v0.8,2v0.2 fade p 0.003 0.45 0.42 vol 0.5

# Submarine (command mode): a low sonar ping with a slow wobble.
sox -n "${fmt[@]}" Submarine.wav synth 0.6 sine 392 tremolo 9 40 fade q 0.01 0.6 0.5 vol 0.6

# Basso (error): two low, dull pulses.
sox -n "${fmt[@]}" basso-a.wav synth 0.12 square 147 vol 0.3 lowpass 600 fade h 0.005 0.12 0.04
sox -n "${fmt[@]}" basso-gap.wav trim 0 0.05
sox basso-a.wav basso-gap.wav basso-a.wav "${fmt[@]}" Basso.wav
rm basso-a.wav basso-gap.wav
