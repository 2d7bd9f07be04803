#include "platform/IcmpSocket.h"

IcmpSocket::~IcmpSocket() = default;
