#pragma once

#include "platform/SoundPlayer.h"

#include <QStringList>

class FakeSoundPlayer final : public SoundPlayer {
public:
    void play(const QString& wavPath) override { played.append(wavPath); }
    QStringList played;
};
