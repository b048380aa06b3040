"""Writes a 16-bit stereo PCM WAV file of 1000 frames and, if a second path is
given, the file a reversal must make of it: the same header, then the frames
in reverse order.
Usage: sample_wav.py PATH [REVERSED_PATH]"""
import struct
import sys

FRAME = 4
data = bytes((i * 7 + i // 251) & 0xFF for i in range(1000 * FRAME))
header = (b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' +
          struct.pack('<IHHIIHH', 16, 1, 2, 8000, 32000, FRAME, 16) + b'data' + struct.pack('<I', len(data)))
with open(sys.argv[1], 'wb') as out:
    out.write(header + data)
if len(sys.argv) > 2:
    frames = [data[i:i + FRAME] for i in range(0, len(data), FRAME)]
    with open(sys.argv[2], 'wb') as out:
        out.write(header + b''.join(reversed(frames)))
