#!/usr/bin/python3
# Runs a command while a settings portal on the session bus answers the one question the
# program asks it, the desktop's colour scheme, as xdg-desktop-portal would. For the smoke test
# and the screenshots, where no desktop runs.
# Usage: fake-settings-portal.py SCHEME COMMAND [ARG...]  (SCHEME: 0 none, 1 dark, 2 light)
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib


class Settings(dbus.service.Object):
    def __init__(self, bus, scheme):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.scheme = scheme

    @dbus.service.method("org.freedesktop.portal.Settings", in_signature="ss", out_signature="v")
    def Read(self, namespace, key):
        if (namespace, key) != ("org.freedesktop.appearance", "color-scheme"):
            raise dbus.exceptions.DBusException("no such setting",
                                                name="org.freedesktop.portal.Error.NotFound")
        # The portal wraps the value in a second variant.
        return dbus.UInt32(self.scheme, variant_level=2)


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
settings = Settings(bus, int(sys.argv[1]))
loop = GLib.MainLoop()
status = []
pid, *_ = GLib.spawn_async(sys.argv[2:], flags=GLib.SpawnFlags.SEARCH_PATH |
                           GLib.SpawnFlags.DO_NOT_REAP_CHILD)


def finished(_pid, wait_status):
    status.append(os.waitstatus_to_exitcode(wait_status))
    loop.quit()


GLib.child_watch_add(GLib.PRIORITY_DEFAULT, pid, finished)
loop.run()
sys.exit(status[0])
