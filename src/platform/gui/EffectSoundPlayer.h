#pragma once

#include "platform/SoundPlayer.h"

#include <QObject>

class QSoundEffect;

// Plays wave files in the background through the default audio output.
// Without an audio device, or without the file, it stays silent.
class EffectSoundPlayer final : public QObject, public SoundPlayer {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EffectSoundPlayer)
public:
    explicit EffectSoundPlayer(QObject* parent = nullptr);
    ~EffectSoundPlayer() override;

    void play(const QString& wavPath) override;

private:
    QSoundEffect* m_effect = nullptr; // made on the first sound that can play
};
