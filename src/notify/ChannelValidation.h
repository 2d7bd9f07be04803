#pragma once

#include "notify/Channel.h"

#include <QList>
#include <QString>

// Whether a notification channel may be stored: the fields its kind needs,
// in the edit dialog's order, each refused with one message naming the
// field.
namespace ChannelValidation {

// Empty when the channel may be saved; otherwise why not. others: the
// channels already stored (the channel itself, by its id, is skipped), for
// names that must stay unique.
QString problem(const Channel& channel, const QList<Channel>& others);

// The storm limit's range; 0 switches it off.
constexpr int MaxStormLimit = 1000;

} // namespace ChannelValidation
