#pragma once

class Clock;
class EchoService;
class TrayIcon;
class SoundPlayer;
class UrlOpener;
class ProcessStarter;
class SkinEngine;
class SysInfoLocator;
class DesktopNotifications;
class ChannelSender;

// The platform services the windows use. main() hands in the real ones,
// tests hand in fakes.
struct AppServices {
    Clock& clock;
    EchoService& echo;
    TrayIcon& tray;
    SoundPlayer& sound;
    UrlOpener& urlOpener;
    ProcessStarter& processStarter;
    SkinEngine& skinEngine;
    SysInfoLocator& sysInfoLocator;
    DesktopNotifications& notifications;
    // What the notification channels' test sends through; none: the test
    // is not offered.
    ChannelSender* channelSender = nullptr;
};
