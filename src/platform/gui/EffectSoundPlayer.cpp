#include "platform/gui/EffectSoundPlayer.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

EffectSoundPlayer::EffectSoundPlayer(QObject* parent)
    : QObject(parent) {}

EffectSoundPlayer::~EffectSoundPlayer() = default;

void EffectSoundPlayer::play(const QString& wavPath) {
    if (!QFileInfo(wavPath).isFile() || QMediaDevices::audioOutputs().isEmpty())
        return;
    if (!m_effect)
        m_effect = new QSoundEffect(this);
    // Loading is asynchronous; a sound asked for while loading plays once loaded.
    m_effect->setSource(QUrl::fromLocalFile(wavPath));
    m_effect->play();
}
