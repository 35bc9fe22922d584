#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command inside a private network namespace with its own avahi-daemon, so multicast DNS
# never reaches a real network: the daemon may use only a veth whose peer sits in a second, empty
# namespace. The daemon and the command talk over a private D-Bus system bus with no activatable
# services, so nothing can start the machine's own avahi-daemon and the machine's bus is left alone.
# Everything is torn down on exit, including processes the command left in the namespace.
# Exit code 77 (skip) when namespaces cannot be made or a foreign avahi-daemon already runs.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "system tests need root to create network namespaces"
command -v avahi-daemon >/dev/null || skip "avahi-daemon is not installed"
command -v dbus-daemon >/dev/null || skip "dbus-daemon is not installed"
pgrep -x avahi-daemon >/dev/null && skip "a foreign avahi-daemon is running; not touching it"

ns="pgw-dnssd-$$"
peer="pgw-peer-$$"
work=$(mktemp -d)
dbus_pid=""

cleanup() {
    local pids
    pids=$(ip netns pids "$ns" 2>/dev/null)
    if [ -n "$pids" ]; then
        kill $pids 2>/dev/null
        for _ in $(seq 30); do
            pids=$(ip netns pids "$ns" 2>/dev/null)
            [ -z "$pids" ] && break
            sleep 0.1
        done
        [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    fi
    [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null
    ip netns del "$ns" 2>/dev/null
    ip netns del "$peer" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

ip netns add "$ns" || skip "cannot create a network namespace"
ip netns add "$peer" || skip "cannot create a network namespace"
ip -n "$ns" link add pgw0 type veth peer name pgw1 netns "$peer" || skip "cannot create a veth pair"
ip -n "$ns" addr add 10.213.7.1/24 dev pgw0
ip -n "$peer" addr add 10.213.7.2/24 dev pgw1
ip -n "$ns" link set lo up
ip -n "$ns" link set pgw0 up multicast on
ip -n "$peer" link set pgw1 up

cat > "$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
dbus_pid=$(dbus-daemon --config-file="$work/bus.conf" --fork --nopidfile --print-pid) \
    || skip "cannot start a private D-Bus bus"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus_socket"
bus_alive() { dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId >/dev/null 2>&1; }
for _ in $(seq 50); do bus_alive && break; sleep 0.1; done
bus_alive || skip "the private D-Bus bus does not answer"

cat > "$work/avahi-daemon.conf" <<CONF
[server]
host-name=pgw-test-host
use-ipv4=yes
use-ipv6=no
allow-interfaces=pgw0
ratelimit-interval-usec=0
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
publish-aaaa-on-ipv4=no
[reflector]
enable-reflector=no
CONF

# The test may stop and restart the daemon; it finds the command line in this variable.
export PGW_AVAHI_COMMAND="ip netns exec $ns avahi-daemon --no-drop-root --no-chroot --no-rlimits -f $work/avahi-daemon.conf"
export PGW_TEST_ADDRESS=10.213.7.1
$PGW_AVAHI_COMMAND >"$work/avahi.log" 2>&1 &
avahi_pid=$!
for _ in $(seq 50); do
    grep -q "Server startup complete" "$work/avahi.log" && break
    sleep 0.1
done
grep -q "Server startup complete" "$work/avahi.log" || { cat "$work/avahi.log"; echo "avahi-daemon did not start"; exit 1; }
export PGW_AVAHI_PID=$avahi_pid

ip netns exec "$ns" "$@"
status=$?
exit $status
