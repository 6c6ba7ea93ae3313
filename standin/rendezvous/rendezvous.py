#!/usr/bin/env python3
"""Stand-in rendezvous server for the video chat's signalling.

One XML document per UDP datagram. The ICE port serves logins, keep-alives,
the friends-online list, invitations, replies, hang-ups and relay requests;
the STUN port serves the binding announcements (STUN INVITE and RINGING)
that a client's binding sockets send. A relay request opens a TCP relay
listener for the invitation that pairs the two parties and forwards bytes.

Everything is kept in memory. Every datagram received is recorded. Tests
drive the server through a line-based TCP control port: each request is one
line of words, each answer one line of JSON.

    rendezvous.py [--host IP] --ice-port 0 --stun-port 0 --control-port 0 --ready-file F

Port 0 picks a free port; the ports in use are written as JSON to the ready
file (atomically) once every socket is bound.

Control commands (answer {"ok": true, ...} or {"ok": false, "error": ...}):
    ports                         the ports in use
    requests                      every datagram received so far
    online                        the accounts logged in, in login order
    kickout ACCOUNT [IP PORT]     KICKOUT to the account (new address given
                                  or the account's own), then forget it
    logout ACCOUNT                server-side LOGOUT to the account
    reject ACCOUNT                LOGIN replies for the account say "FAIL"
    silent STEP                   ignore received ICE documents of STEP
    head_icon ACCOUNT URL         head_icon sent for the account
    stun_forwarding on|off        off: STUN INVITE/RINGING are not passed on
    expire_ms N                   forget logins not heard of for N ms (0: never)
    sendto IP PORT TEXT...        send TEXT as one datagram from the ICE port
    reset_requests                forget the recorded datagrams
"""

import argparse
import json
import os
import select
import signal
import socket
import struct
import sys
import time
import xml.etree.ElementTree as ET

DECLARATION = '<?xml version="1.0" encoding="utf-8"?>'
MAX_DATAGRAM = 4096
RELAY_BUFFER_LIMIT = 4 * 1024 * 1024


def now_ms():
    return int(time.monotonic() * 1000)


def attr(value):
    """An attribute value, escaped."""
    return (str(value).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&apos;"))


def cdata(text):
    """A CDATA section holding text, with "]]>" split across two sections."""
    return "<![CDATA[" + text.replace("]]>", "]]]]><![CDATA[>") + "]]>"


def element(tag, attrs, children=""):
    parts = "".join(' %s="%s"' % (k, attr(v)) for k, v in attrs)
    if children:
        return "<%s%s>%s</%s>" % (tag, parts, children, tag)
    return "<%s%s/>" % (tag, parts)


def document(name, step, attrs=(), children=""):
    return DECLARATION + element("command", [("name", name), ("step", step)] + list(attrs), children)


class Login:
    def __init__(self, account, sid, name, addr):
        self.account = account
        self.sid = sid
        self.name = name
        self.addr = addr
        self.seen = now_ms()


class Invitation:
    def __init__(self, inviter, invitee):
        self.inviter = inviter
        self.invitee = invitee
        self.uac = None  # (private (ip, port), public (ip, port)) of the inviter's binding socket
        self.uas = None
        self.relay = None
        self.relay_replied = set()

    def other(self, account):
        if account == self.inviter:
            return self.invitee
        if account == self.invitee:
            return self.inviter
        return None


class Relay:
    """Pairs the first two TCP connections to its port and forwards bytes."""

    def __init__(self, host):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((host, 0))
        self.listener.listen(2)
        self.listener.setblocking(False)
        self.port = self.listener.getsockname()[1]
        self.ends = []  # connected sockets, at most two
        self.pending = {}  # socket -> bytes waiting for the other end

    def close(self):
        for s in [self.listener] + self.ends:
            try:
                s.close()
            except OSError:
                pass
        self.ends = []


class Server:
    def __init__(self, args):
        self.host = args.host
        self.ice = self._udp(args.ice_port)
        self.stun = self._udp(args.stun_port)
        self.control = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.control.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.control.bind((self.host, args.control_port))
        self.control.listen(8)
        self.controls = {}  # socket -> unread bytes
        self.logins = {}  # account -> Login, in login order
        # id -> [Invitation], oldest first: the games choose the ids, so
        # calls between different parties may share one.
        self.invitations = {}
        self.relays = []
        self.requests = []
        self.rejected = set()
        self.silent = set()
        self.head_icons = {}
        self.stun_forwarding = True
        self.expire_ms = args.expire_ms
        self.record_file = open(args.record, "a", encoding="utf-8") if args.record else None
        self.running = True

    def _udp(self, port):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((self.host, port))
        return s

    def ports(self):
        return {"ice": self.ice.getsockname()[1], "stun": self.stun.getsockname()[1],
                "control": self.control.getsockname()[1]}

    # ---- sending ------------------------------------------------------

    def send(self, sock, addr, text):
        data = text.encode("utf-8")
        if len(data) > MAX_DATAGRAM:
            print("rendezvous: datagram of %d bytes not sent" % len(data), file=sys.stderr)
            return
        try:
            sock.sendto(data, addr)
        except OSError as e:
            print("rendezvous: sendto %s failed: %s" % (addr, e), file=sys.stderr)

    def send_to_account(self, account, text):
        login = self.logins.get(account)
        if login:
            self.send(self.ice, login.addr, text)

    # ---- bookkeeping --------------------------------------------------

    def record(self, port_name, addr, data):
        text = data.decode("utf-8", errors="replace")
        entry = {"port": port_name, "from": [addr[0], addr[1]], "text": text}
        self.requests.append(entry)
        if self.record_file:
            self.record_file.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self.record_file.flush()

    def expire(self):
        if self.expire_ms <= 0:
            return
        limit = now_ms() - self.expire_ms
        for account in [a for a, l in self.logins.items() if l.seen < limit]:
            del self.logins[account]

    def account_of_sid(self, sid):
        for account, login in self.logins.items():
            if login.sid == sid and sid:
                return account
        return None

    def invitation(self, invitation_id, account, target=""):
        """The invitation under the id between the account and the target
        it names; else the newest under the id the account is a party of."""
        candidates = [inv for inv in self.invitations.get(invitation_id, []) if inv.other(account) is not None]
        for inv in reversed(candidates):
            if inv.other(account) == target:
                return inv
        return candidates[-1] if candidates else None

    def add_invitation(self, invitation_id, inviter, invitee):
        """A new invitation under the id; one between the same two replaces theirs."""
        inv = Invitation(inviter, invitee)
        kept = [i for i in self.invitations.get(invitation_id, []) if {i.inviter, i.invitee} != {inviter, invitee}]
        self.invitations[invitation_id] = kept + [inv]
        return inv

    def peer_of(self, invitation_id, sender, fallback):
        """The other party of an invitation; the named account when the id is unknown."""
        inv = self.invitation(invitation_id, sender, fallback)
        return inv.other(sender) if inv else fallback

    # ---- ICE port -----------------------------------------------------

    def on_ice(self, data, addr):
        self.record("ice", addr, data)
        try:
            root = ET.fromstring(data)
        except ET.ParseError:
            return
        if root.tag != "command":
            return
        name, step = root.get("name"), root.get("step")
        if name == "ICE" and step in self.silent:
            return
        if name == "ICE":
            handler = {
                "LOGIN": self.ice_login, "LOGOUT": self.ice_logout, "RENAME": self.ice_rename,
                "KEEPALIVE": self.ice_keepalive, "GetOnlineFriend": self.ice_friends,
                "INVITE": self.ice_invite, "REPLY": self.ice_reply, "HANGUP": self.ice_hangup,
            }.get(step)
        elif name == "RELAY" and step == "INVITE":
            handler = self.relay_invite
        else:
            handler = None
        if handler:
            handler(root, addr)

    def sender(self, root, addr):
        """The account a document comes from: by its sid, refreshed on the way."""
        account = self.account_of_sid(root.get("sid", ""))
        if account:
            login = self.logins[account]
            login.seen = now_ms()
            login.addr = addr
        return account

    def ice_login(self, root, addr):
        sid = root.get("sid", "")
        account = root.get("user_account", "")
        name = root.get("user_name", "")
        ok = bool(sid) and bool(account) and account not in self.rejected
        if ok:
            old = self.logins.get(account)
            if old and old.addr != addr:
                self.send(self.ice, old.addr, document("ICE", "KICKOUT", children=element(
                    "host", [("new_pub_ip", addr[0]), ("new_pub_port", addr[1])])))
            self.logins.pop(account, None)
            self.logins[account] = Login(account, sid, name, addr)
        host = element("host", [("server_port_udp", self.stun.getsockname()[1]),
                                ("local_pub_ip", addr[0]), ("local_pub_port", addr[1])])
        self.send(self.ice, addr, document("ICE", "LOGIN", [("result", "OK" if ok else "FAIL")], host))

    def ice_logout(self, root, addr):
        account = self.account_of_sid(root.get("sid", ""))
        if account:
            del self.logins[account]

    def ice_rename(self, root, addr):
        account = self.sender(root, addr)
        if account and root.get("user_account") == account:
            self.logins[account].name = root.get("user_name", "")

    def ice_keepalive(self, root, addr):
        if self.sender(root, addr):
            self.send(self.ice, addr, document("ICE", "KEEPALIVE"))

    def ice_friends(self, root, addr):
        if not self.sender(root, addr):
            return
        try:
            page = int(root.get("page", "1"))
            size = int(root.get("page_count", "10"))
        except ValueError:
            return
        page = max(page, 1)
        size = max(size, 1)
        online = list(self.logins.values())
        chosen = online[(page - 1) * size:page * size]
        users = ""
        for login in chosen:
            attrs = [("user_account", login.account), ("user_name", login.name)]
            if login.account in self.head_icons:
                attrs.append(("head_icon", self.head_icons[login.account]))
            user = element("user", attrs)
            # Keep the reply within one receive buffer: drop what does not fit.
            if len((users + user).encode("utf-8")) > MAX_DATAGRAM - 256:
                break
            users += user
        self.send(self.ice, addr, document("ICE", "GetOnlineFriend",
                                           [("record_count", len(online)), ("page", page)],
                                           "<list>%s</list>" % users))

    def data_text(self, root):
        data = root.find("data")
        return None if data is None else (data.text or "")

    def ice_invite(self, root, addr):
        inviter = self.sender(root, addr)
        if not inviter:
            return
        invitee = root.get("to", "")
        invitation_id = root.get("id", "")
        payload = self.data_text(root)
        if not invitation_id or payload is None:
            return
        if invitee not in self.logins:
            self.send(self.ice, addr, document("ICE", "REPLY", [("id", invitation_id), ("result", "OFFLINE")]))
            return
        self.add_invitation(invitation_id, inviter, invitee)
        self.send_to_account(invitee, document(
            "ICE", "INVITE",
            [("from", inviter), ("to", invitee), ("id", invitation_id),
             ("from_name", self.logins[inviter].name)],
            "<data>%s</data>" % cdata(payload)))

    def ice_reply(self, root, addr):
        account = self.sender(root, addr)
        if not account:
            return
        invitation_id = root.get("id", "")
        target = self.peer_of(invitation_id, account, root.get("target", ""))
        payload = self.data_text(root) or ""
        self.send_to_account(target, document(
            "ICE", "REPLY", [("id", invitation_id), ("result", root.get("result", ""))],
            "<data>%s</data>" % cdata(payload)))

    def ice_hangup(self, root, addr):
        account = self.sender(root, addr)
        if not account:
            return
        invitation_id = root.get("id", "")
        target = self.peer_of(invitation_id, account, root.get("target", ""))
        self.send_to_account(target, document("ICE", "HANGUP", [("id", invitation_id)]))

    def relay_invite(self, root, addr):
        account = self.sender(root, addr)
        if not account:
            return
        invitation_id = root.get("id", "")
        inv = self.invitation(invitation_id, account, root.get("target", ""))
        if not inv:
            return
        if inv.relay is None:
            inv.relay = Relay(self.host)
            self.relays.append(inv.relay)
        reply = document("RELAY", "REPLY", [("id", invitation_id)],
                         element("host", [("ip", self.host), ("port", inv.relay.port)]))
        # Each party hears of the relay once, whoever asked first.
        for party in (inv.inviter, inv.invitee):
            if party not in inv.relay_replied and party in self.logins:
                inv.relay_replied.add(party)
                self.send_to_account(party, reply)

    # ---- STUN port ----------------------------------------------------

    def on_stun(self, data, addr):
        self.record("stun", addr, data)
        try:
            root = ET.fromstring(data)
        except ET.ParseError:
            return
        if root.tag != "command" or root.get("name") != "STUN":
            return
        step = root.get("step")
        if step == "INVITE":
            self.stun_invite(root, addr)
        elif step == "RINGING":
            self.stun_ringing(root, addr)

    def stun_invite(self, root, addr):
        account = self.account_of_sid(root.get("sid", ""))
        invitation_id = root.get("id", "")
        host = root.find("host")
        if not account or host is None:
            return
        target = self.peer_of(invitation_id, account, root.get("target", ""))
        if target not in self.logins:
            self.send(self.stun, addr, document("STUN", "OFFLINE", [("id", invitation_id)]))
            return
        private = (host.get("local_pri_ip", ""), host.get("local_pri_port", "0"))
        inv = self.invitation(invitation_id, account, target) or self.add_invitation(invitation_id, account, target)
        inv.uac = (private, addr)
        self.send(self.stun, addr, document("STUN", "TRYING", [("id", invitation_id)]))
        if not self.stun_forwarding:
            return
        self.send_to_account(target, document(
            "STUN", "INVITE", [("id", invitation_id), ("port_type", root.get("port_type", "any"))],
            element("host", [("remote_pri_ip", private[0]), ("remote_pri_port", private[1]),
                             ("remote_pub_ip", addr[0]), ("remote_pub_port", addr[1])])))

    def stun_ringing(self, root, addr):
        account = self.account_of_sid(root.get("sid", ""))
        invitation_id = root.get("id", "")
        host = root.find("host")
        inv = self.invitation(invitation_id, account, root.get("target", "")) if account else None
        if not account or host is None or not inv or not inv.uac:
            return
        private = (host.get("local_pri_ip", ""), host.get("local_pri_port", "0"))
        inv.uas = (private, addr)
        if not self.stun_forwarding:
            return
        self.send(self.stun, inv.uac[1], document(
            "STUN", "RINGING", [("id", invitation_id)],
            element("host", [("remote_pri_ip", private[0]), ("remote_pri_port", private[1]),
                             ("remote_pub_ip", addr[0]), ("remote_pub_port", addr[1])])))

    # ---- relay --------------------------------------------------------

    def relay_sockets(self):
        out = []
        for relay in self.relays:
            if relay.listener.fileno() >= 0:
                out.append(relay.listener)
            out.extend(relay.ends)
        return out

    def on_relay(self, sock):
        for relay in self.relays:
            if sock is relay.listener:
                conn, _ = relay.listener.accept()
                if len(relay.ends) >= 2:
                    conn.close()
                    return True
                relay.ends.append(conn)
                relay.pending[conn] = b""
                if len(relay.ends) == 2:
                    self.relay_paired(relay)
                return True
            if sock in relay.ends:
                try:
                    data = sock.recv(65536)
                except OSError:
                    data = b""
                if not data:
                    relay.close()
                    self.relays.remove(relay)
                    return True
                if len(relay.ends) == 2:
                    other = relay.ends[1] if sock is relay.ends[0] else relay.ends[0]
                    try:
                        other.sendall(data)
                    except OSError:
                        relay.close()
                        self.relays.remove(relay)
                else:
                    relay.pending[sock] += data
                    if len(relay.pending[sock]) > RELAY_BUFFER_LIMIT:
                        relay.close()
                        self.relays.remove(relay)
                return True
        return False

    def relay_paired(self, relay):
        # Both ends hear that the peer is there (a video control message,
        # code 1, empty text), then what the first end sent while alone.
        body = struct.pack("<HHIBI", 0, 0, 0, 1, 0)
        ready = struct.pack("<I", len(body) + 4) + body
        first, second = relay.ends
        try:
            first.sendall(ready)
            second.sendall(ready + relay.pending[first])
        except OSError:
            relay.close()
            self.relays.remove(relay)

    # ---- control ------------------------------------------------------

    def on_control(self, sock):
        try:
            data = sock.recv(65536)
        except OSError:
            data = b""
        if not data:
            del self.controls[sock]
            sock.close()
            return
        buffered = self.controls[sock] + data
        while b"\n" in buffered:
            line, buffered = buffered.split(b"\n", 1)
            answer = self.command(line.decode("utf-8", errors="replace").strip())
            try:
                sock.sendall((json.dumps(answer, ensure_ascii=False) + "\n").encode("utf-8"))
            except OSError:
                # The test gave up on this link; the next select sees it closed.
                break
        self.controls[sock] = buffered

    def command(self, line):
        words = line.split(" ")
        verb, rest = words[0], words[1:]
        try:
            if verb == "ports":
                return dict(ok=True, **self.ports())
            if verb == "requests":
                return {"ok": True, "requests": self.requests}
            if verb == "reset_requests":
                self.requests = []
                return {"ok": True}
            if verb == "online":
                return {"ok": True, "online": list(self.logins)}
            if verb == "kickout":
                login = self.logins.pop(rest[0])
                ip, port = (rest[1], rest[2]) if len(rest) >= 3 else login.addr
                self.send(self.ice, login.addr, document("ICE", "KICKOUT", children=element(
                    "host", [("new_pub_ip", ip), ("new_pub_port", port)])))
                return {"ok": True}
            if verb == "logout":
                login = self.logins.pop(rest[0])
                self.send(self.ice, login.addr, document("ICE", "LOGOUT"))
                return {"ok": True}
            if verb == "reject":
                self.rejected.add(rest[0])
                return {"ok": True}
            if verb == "silent":
                self.silent.add(rest[0])
                return {"ok": True}
            if verb == "head_icon":
                self.head_icons[rest[0]] = rest[1]
                return {"ok": True}
            if verb == "stun_forwarding":
                self.stun_forwarding = rest[0] == "on"
                return {"ok": True}
            if verb == "expire_ms":
                self.expire_ms = int(rest[0])
                return {"ok": True}
            if verb == "sendto":
                self.send(self.ice, (rest[0], int(rest[1])), " ".join(rest[2:]))
                return {"ok": True}
        except (IndexError, KeyError, ValueError) as e:
            return {"ok": False, "error": "%s: %s" % (type(e).__name__, e)}
        return {"ok": False, "error": "unknown command"}

    # ---- loop ---------------------------------------------------------

    def serve(self):
        while self.running:
            readers = [self.ice, self.stun, self.control] + list(self.controls) + self.relay_sockets()
            try:
                ready, _, _ = select.select(readers, [], [], 0.5)
            except InterruptedError:
                continue
            self.expire()
            for sock in ready:
                if sock is self.ice or sock is self.stun:
                    try:
                        data, addr = sock.recvfrom(65536)
                    except OSError:
                        continue  # an ICMP error for an earlier send
                    (self.on_ice if sock is self.ice else self.on_stun)(data, addr)
                elif sock is self.control:
                    conn, _ = self.control.accept()
                    self.controls[conn] = b""
                elif sock in self.controls:
                    self.on_control(sock)
                else:
                    self.on_relay(sock)


def main():
    parser = argparse.ArgumentParser(description="Stand-in rendezvous server")
    parser.add_argument("--host", default="127.0.0.1",
                        help="IPv4 address every port (and each relay) listens on, and the relay address given out")
    parser.add_argument("--ice-port", type=int, default=0)
    parser.add_argument("--stun-port", type=int, default=0)
    parser.add_argument("--control-port", type=int, default=0)
    parser.add_argument("--ready-file", help="write the ports in use here as JSON")
    parser.add_argument("--record", help="append every datagram received here as JSON lines")
    parser.add_argument("--expire-ms", type=int, default=30000,
                        help="forget logins not heard of for this long (0: never)")
    args = parser.parse_args()
    try:
        socket.inet_aton(args.host)
    except OSError:
        parser.error("--host takes a dotted IPv4 address of this machine")

    server = Server(args)

    def stop(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    ports = json.dumps(server.ports())
    if args.ready_file:
        tmp = args.ready_file + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(ports)
        os.replace(tmp, args.ready_file)
    print("rendezvous: listening " + ports, flush=True)
    server.serve()


if __name__ == "__main__":
    main()
