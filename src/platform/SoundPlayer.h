#pragma once

#include <QString>

// Plays a sound file asynchronously; no audio device means silence.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& wavPath) = 0;
};
