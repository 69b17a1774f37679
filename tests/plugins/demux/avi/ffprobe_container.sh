#!/bin/sh
# ffprobe reading packets as the AVI container holds them: no time stamps
# filled in and no parser re-cutting the audio or video into frames.
exec ffprobe -fflags +nofillin+noparse "$@"
