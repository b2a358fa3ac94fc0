#!/usr/bin/python3
# Runs a command while a settings portal on the session bus answers the one question the
# program asks it, the desktop's colour scheme, as xdg-desktop-portal would; where no desktop
# runs (the smoke test, the screenshots). Usage: fake-settings-portal.py 0|1|2 COMMAND [ARG...]
# (0 no preference, 1 dark, 2 light).
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib


class Settings(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Settings", in_signature="ss", out_signature="v")
    def Read(self, namespace, key):
        if (namespace, key) != ("org.freedesktop.appearance", "color-scheme"):
            raise dbus.exceptions.DBusException(name="org.freedesktop.portal.Error.NotFound")
        return dbus.UInt32(int(sys.argv[1]), variant_level=2)  # the portal wraps it twice


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
settings = Settings(bus, "/org/freedesktop/portal/desktop")
loop, status = GLib.MainLoop(), []
pid, *_ = GLib.spawn_async(sys.argv[2:], flags=GLib.SpawnFlags.SEARCH_PATH |
                           GLib.SpawnFlags.DO_NOT_REAP_CHILD)
GLib.child_watch_add(GLib.PRIORITY_DEFAULT, pid,
                     lambda _, wait: (status.append(os.waitstatus_to_exitcode(wait)), loop.quit()))
loop.run()
sys.exit(status[0])
