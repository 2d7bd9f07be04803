#pragma once

#include "notify/Channel.h"

#include <QList>
#include <QString>

#include <optional>

// The notification channels of the catalogue (table Channels). Changes
// return DbExecute's report: empty on success, the failure text otherwise,
// the channel's secret masked in it.
namespace ChannelCatalogue {

// In ID order; a row of an unknown kind is left out. Nothing when the
// catalogue cannot be read, and then *ok, when given, is false.
QList<Channel> SelectChannels(bool* ok = nullptr);
// The first channel of that name, exactly as typed.
std::optional<Channel> FindChannel(const QString& name);
// Adds the channel (its id is ignored); *id, when given, receives the new one.
QString AddChannel(const Channel& channel, qint64* id = nullptr);
QString ChangeChannel(const Channel& channel);
// Deletes the channel and every message still waiting for it.
QString DeleteChannel(qint64 id);

} // namespace ChannelCatalogue
