#!/usr/bin/env python3
"""Stand-in for the Ombrix web service and its static content host.

One HTTP server on 127.0.0.1 (or --host) answers everything the client programs ask:

  GET  /gsc                 the server configuration (every node points here,
                            except IceServer, which --ice-server names)
  GET  /head/..., /uploads/..., any file below --static-dir
  POST /ClientInterface.axd the JSON commands (CommandName picks one; the pages'
                            own GetUserBlogList(UserAccountId) needs no session)
  POST /UploadFile.axd      blog image upload, XML reply
  POST /news.ashx           data-collection reports
  POST /UploadFileDMP.ashx  crash dump upload (stored under <data>/dumps)
  POST /UploadHeadImage.axd head picture upload from the avatar editor page:
                            Key (the user's GetCurrentUserQtidByEncrypt text),
                            Size (small, mid or big), body a PNG; JSON envelope
                            whose Data is the picture's address. Open to pages of
                            any origin (the editor page is a local file).

Replies are gzip-compressed when the request carries zip=gzip and accepts
gzip. Users, sessions, tickets, posts, follows and uploads live in memory
and, with --state, in a JSON file. Every request (control requests aside)
is appended to the request log (--request-log, one JSON object per line)
before it is answered, so a test holding a reply finds its request there.

Tests steer the service through /__control/<action>?... (GET or POST):
  fault     path=/ClientInterface.axd [command=UserLogin] mode=M [count=N]
            modes: timeout (hold without answering, hold_ms), slow (delay_ms,
            then answer), http500 (http_status, default 500; body), garbage,
            empty, drop (close, no reply),
            notfound, redirect (302 to location), status (answer with
            status_json / message), raw (body),
            badgzip (labelled gzip, not gzip), nested (depth=N levels of
            kind=json: [[...]], json-data: an envelope whose Data is a text
            holding that, or xml: <Node><a><a>...</a></a></Node>; the
            unclosed xml-stray: <Node><<!--> then <a> N times, xml-7f:
            <Node> then <DEL> N times (element names from byte 127), and
            xml-quote: <Node><1 '<!--'> then <a> N times);
            encoding=GZIP|none overrides the Content-Encoding of the answer.
            count -1: every time.
            bomb: a gzip stream (labelled gzip) that inflates to inflated=N
            bytes (default 256 MiB) of blanks; endless: a reply without a
            length that never ends (blanks at bytes_per_s, 0 = as fast as the
            client reads) until the client hangs up or the service stops,
            recorded in state's endless_sent (bytes sent, one per reply).
            For GET of a static file also: stall (announce the whole length,
            send the first half, then hold the line for hold_ms), truncate
            (announce the whole length, send the first half, close), nolength
            (send it all without a Content-Length, then close), throttle
            (send it at bytes_per_s, default 1048576), endless (send it
            without a Content-Length, then blanks until the client hangs up).
            For any path and method also: trickle (announce size bytes,
            default 1048576, then send one byte every interval_ms, default
            200, for at most hold_ms), huge (answer size bytes of "x", gzip-
            compressed as usual when asked for).
  clear     remove every fault
  user      account, password [, nick, id, ticket, and any profile field of
            the login reply: Birthday, Province, FollowByOtherCount,
            BindBlogIds, ...]: add or replace a user
  ticket    ticket, account
  prompt    account, about, mirror, message, fans: new-item counters
  settings  gzip=0|1
  gsc       POST body: serve this text as "gsc" (empty body: back to normal)
  state     the whole state as JSON (head_uploads: every head picture
            received, with its account, size name, PNG width and height;
            endless_sent: what each endless reply sent before it ended)
  log       the request log as a JSON array
A control request that lacks a parameter or carries a malformed one is
answered 400 with {"ok": false, "error": ...}; a command with a malformed
parameter gets an envelope with a non-zero Status, never a dropped line.
"""

import argparse
import base64
import datetime
import gzip
import hashlib
import json
import os
import secrets
import struct
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

NICK_SENSITIVE = ("badword", "敏感")
BAD_PARAMETER = (1, "参数错误")
SESSION_EXPIRED = (-2, "会话已过期,请重新登录")


def cipher_of(account, password):
    """The stored-password token the service hands out when asked to remember."""
    return hashlib.sha256(("ombrix-cipher:%s:%s" % (account, password)).encode()).hexdigest()[:32]


# Texts that open `depth` elements and never close them, each behind a
# head that a reader must classify as the XML parser does to see them.
XML_OPEN_FORMS = {
    "xml-stray": ("<Node><<!-->", "<a>"),
    "xml-7f": ("<Node>", "<\x7f>"),
    "xml-quote": ("<Node><1 '<!--'>", "<a>"),
}
NESTED_KINDS = ("json", "json-data", "xml") + tuple(XML_OPEN_FORMS)


def nested_body(kind, depth):
    """A reply nested `depth` levels deep, for the nested fault."""
    if kind == "xml":
        inner = max(depth - 1, 0)
        return ("<Node>" + "<a>" * inner + "</a>" * inner + "</Node>").encode("utf-8")
    if kind in XML_OPEN_FORMS:
        head, level = XML_OPEN_FORMS[kind]
        return (head + level * max(depth - 1, 0)).encode("utf-8")
    array = "[" * depth + "]" * depth
    if kind == "json-data":
        return json.dumps({"Status": 0, "Message": "", "Data": array}).encode("utf-8")
    return array.encode("utf-8")


def qtid_of(account):
    """The encrypted user id GetCurrentUserQtidByEncrypt hands out."""
    return hashlib.sha1(("qtid:" + account).encode()).hexdigest()[:24]


def png_size(data):
    """(width, height) of a PNG, or None when the bytes are not one."""
    if len(data) < 24 or data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")


def now_text():
    return datetime.datetime.now().strftime("%Y-%m-%d %H:%M:%S")


class Store:
    """Everything the service remembers, under one lock."""

    def __init__(self, path, data_dir):
        self.lock = threading.RLock()
        self.path = path
        self.data_dir = data_dir
        self.users = {}  # account -> user
        self.sessions = {}  # session id -> account
        self.tickets = {}  # ticket -> account
        self.blogs = []
        self.feedback = []
        self.reports = []
        self.head_uploads = []
        self.next_id = 1001
        if path and os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                saved = json.load(f)
            for key in ("users", "sessions", "tickets", "blogs", "feedback", "reports", "head_uploads", "next_id"):
                if key in saved:
                    setattr(self, key, saved[key])

    def save(self):
        if not self.path:
            return
        data = {k: getattr(self, k) for k in
                ("users", "sessions", "tickets", "blogs", "feedback", "reports", "head_uploads", "next_id")}
        tmp = self.path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(data, f, ensure_ascii=False, indent=1)
        os.replace(tmp, self.path)

    def add_user(self, account, password, nick="", user_id=None, ticket=None, profile=None):
        with self.lock:
            old = self.users.get(account)
            if user_id is None:
                user_id = old["UserAccountId"] if old else str(self.next_id)
                if not old:
                    self.next_id += 1
            user = {
                "UserAccountId": str(user_id), "Account": account, "password": password,
                "DisplayRoleId": "", "DisplayRoleName": "", "NickName": nick,
                "HeadImageUrl": "", "BlogCount": 0, "FollowCount": 0, "FollowByOtherCount": 0,
                "Email": account + "@example.invalid", "Mood": "", "IsCertificated": 0,
                "RegisterTime": now_text(), "RegisterIP": "127.0.0.1", "LastLoginTime": "",
                "LastLoginIP": "", "Birthday": "", "Province": "", "City": "", "Status": "1",
                "RegFrom": "client", "IsSetRelevanceUser": 0, "OnlineTimeHours": 0,
                "LastOnlineTimeStatDate": "", "PrivateDomain": account,
                "TGNickName": nick or account, "follows": [],
                "counters": {"NewAboutUserBlogCount": 0, "NewMirrorBlogCount": 0,
                             "NewMessageCount": 0, "NewFansCount": 0},
                "roles": [
                    {"ID": "%s-r1" % user_id, "GameId": "other", "GameName": "Demo Game",
                     "GameArea": "East", "GameServer": "East-Server 1", "CharacterName": "Hero",
                     "JobName": "Warrior", "CharacterLevel": "42", "Privacy": "1"},
                    {"ID": "%s-r2" % user_id, "GameId": "other", "GameName": "Demo Game",
                     "GameArea": "West", "GameServer": "West-Server 2", "CharacterName": "Mage",
                     "JobName": "Mage", "CharacterLevel": "7", "Privacy": "2"},
                ],
            }
            user["BindBlogIds"] = ""
            if old:
                for keep in ("follows", "counters", "BlogCount", "FollowCount", "FollowByOtherCount",
                             "HeadImageUrl", "roles"):
                    user[keep] = old[keep]
            user.update(profile or {})
            self.users[account] = user
            if ticket:
                self.tickets[ticket] = account
            self.save()
            return user

    def user_by_id(self, user_id):
        for user in self.users.values():
            if user["UserAccountId"] == user_id:
                return user
        return None


ACCOUNT_KEYS = ("UserAccountId", "Account", "DisplayRoleId", "DisplayRoleName", "NickName", "HeadImageUrl",
                "BlogCount", "FollowCount", "FollowByOtherCount", "Email", "Mood", "IsCertificated",
                "RegisterTime", "RegisterIP", "LastLoginTime", "LastLoginIP", "Birthday", "Province", "City",
                "Status", "RegFrom", "IsSetRelevanceUser", "OnlineTimeHours", "LastOnlineTimeStatDate",
                "PrivateDomain")
NUMBER_KEYS = ("BlogCount", "FollowCount", "FollowByOtherCount", "IsCertificated", "IsSetRelevanceUser",
               "OnlineTimeHours")
# What the "user" control may set besides account and password.
PROFILE_KEYS = tuple(k for k in ACCOUNT_KEYS if k not in ("UserAccountId", "Account")) + ("BindBlogIds",
                                                                                          "TGNickName")


class BadRequest(Exception):
    """A control request the stand-in cannot act on: answered 400."""


def int_param(params, key, default):
    value = params.get(key, default)
    try:
        return int(value)
    except (TypeError, ValueError):
        raise BadRequest("%s must be a whole number, not %r" % (key, value))


def required(params, *keys):
    missing = [k for k in keys if not params.get(k)]
    if missing:
        raise BadRequest("missing " + ", ".join(missing))
    return [params[k] for k in keys]


class Service:
    def __init__(self, args):
        self.args = args
        self.host = args.host
        self.port = 0
        self.store = Store(args.state, args.data_dir)
        self.faults = []
        self.fault_lock = threading.Lock()
        self.gzip = True
        self.gsc_override = None
        self.log_lock = threading.Lock()
        self.log = []
        self.seq = 0
        self.stopping = threading.Event()
        self.endless_sent = []  # bytes each endless reply got out
        self.bombs = {}  # inflated size -> gzip stream

    def bomb(self, inflated):
        """A gzip stream of `inflated` blanks, made once per size."""
        with self.fault_lock:
            if inflated not in self.bombs:
                packer = zlib.compressobj(9, zlib.DEFLATED, 31)
                block = b" " * (1 << 20)
                parts = []
                for start in range(0, inflated, len(block)):
                    parts.append(packer.compress(block[:min(len(block), inflated - start)]))
                parts.append(packer.flush())
                self.bombs[inflated] = b"".join(parts)
            return self.bombs[inflated]

    # ---- addresses -------------------------------------------------------
    def self_address(self):
        return "%s:%d" % (self.host, self.port)

    def head_urls(self, user):
        if user["HeadImageUrl"]:
            return user["HeadImageUrl"]
        base = "http://%s/head/%s" % (self.self_address(), user["UserAccountId"])
        return "%s_small.jpg,%s_mid.jpg,%s_big.jpg" % (base, base, base)

    def gsc_text(self):
        if self.gsc_override is not None:
            return self.gsc_override
        me = self.self_address()
        dc = self.args.dc_server or me
        image = self.args.image_server or me
        return ('<?xml version="1.0" encoding="utf-8"?>\n<Node>\n'
                "  <ClientInterfaceServer><Rule><Server>%s</Server></Rule></ClientInterfaceServer>\n"
                "  <ImageStorageServer><Rule><Server>%s</Server></Rule></ImageStorageServer>\n"
                "  <DCServer><Rule><Server>%s</Server></Rule></DCServer>\n"
                "  <IceServer><Rule><Server>%s</Server></Rule></IceServer>\n"
                "</Node>\n" % (me, image, dc, self.args.ice_server))

    # ---- request log -------------------------------------------------------
    def record(self, entry):
        with self.log_lock:
            self.seq += 1
            entry["seq"] = self.seq
            self.log.append(entry)
            if self.args.request_log:
                with open(self.args.request_log, "a", encoding="utf-8") as f:
                    f.write(json.dumps(entry, ensure_ascii=False) + "\n")

    # ---- faults -----------------------------------------------------------
    def take_fault(self, path, command):
        with self.fault_lock:
            for fault in self.faults:
                if fault["path"] != path:
                    continue
                if fault.get("command") and fault["command"] != command:
                    continue
                if fault["count"] > 0:
                    fault["count"] -= 1
                    if fault["count"] == 0:
                        self.faults.remove(fault)
                return dict(fault)
        return None

    # ---- the user of a session -------------------------------------------
    def session_user(self, params, key):
        account = self.store.sessions.get(params.get(key, ""))
        return self.store.users.get(account) if account else None

    # ---- commands ----------------------------------------------------------
    def login_object(self, user, session, cipher):
        account = {k: user[k] for k in ACCOUNT_KEYS}
        account["HeadImageUrl"] = self.head_urls(user)
        return {"SessionID": session, "CipherPassword": cipher, "BindBlogIds": user.get("BindBlogIds", ""),
                "TGNickName": user["TGNickName"], "UserAccount": account}

    def start_session(self, user):
        session = secrets.token_hex(16)
        self.store.sessions[session] = user["Account"]
        user["LastLoginTime"] = now_text()
        user["LastLoginIP"] = "127.0.0.1"
        return session

    def bare_account(self, user):
        account = {k: user[k] for k in ACCOUNT_KEYS}
        account["HeadImageUrl"] = self.head_urls(user)
        return account

    def user_entry(self, user):
        return {"UserAccountId": user["UserAccountId"], "NickName": user["NickName"] or user["Account"],
                "HeadImageUrl": self.head_urls(user), "ProfileName": user["roles"][0]["CharacterName"]
                if user["roles"] else "", "IsCertificated": user["IsCertificated"]}

    def command(self, name, p):
        """Returns (status, message, data)."""
        st = self.store
        with st.lock:
            if name == "UserLogin":
                user = st.users.get(p.get("Account", ""))
                kind = p.get("PaswordType", "")
                password = p.get("Password", "")
                good = user is not None and (
                    (kind == "simple" and password == user["password"]) or
                    (kind == "cipher" and password == cipher_of(user["Account"], user["password"])))
                if not good:
                    return -1, "帐号或密码错误", ""
                session = self.start_session(user)
                cipher = cipher_of(user["Account"], user["password"]) if p.get("RequireCipher") == "true" else ""
                st.save()
                return 0, "", self.login_object(user, session, cipher)
            if name == "UserLoginByTicket":
                account = st.tickets.get(p.get("Ticket", ""))
                if not account or account not in st.users:
                    return -3, "票据无效", ""
                user = st.users[account]
                session = self.start_session(user)
                st.save()
                return 0, "", self.login_object(user, session, "")
            if name == "GetServerDateTime":
                return 0, "", now_text()
            if name == "RecommendedAdd":
                if not p.get("Content"):
                    return 1, "内容不能为空", ""
                user = self.session_user(p, "SessionId")
                st.feedback.append({"Title": p.get("Title", ""), "Content": p["Content"],
                                    "Account": user["Account"] if user else "", "Time": now_text()})
                st.save()
                return 0, "", ""
            if name == "GetUserBlogList":
                # The pages' own read of a user's diary, newest first; public.
                owner = st.user_by_id(p.get("UserAccountId", ""))
                if not owner:
                    return 1, "用户不存在", ""
                blogs = [b for b in st.blogs if b.get("UserAccountId") == owner["UserAccountId"]]
                return 0, "", {"UserAccountId": owner["UserAccountId"],
                               "NickName": owner["NickName"] or owner["Account"],
                               "Blogs": list(reversed(blogs))}
            if name == "GetCurrentUserQtidByEncrypt":
                user = self.session_user(p, "SessionId")
                if not user:
                    return SESSION_EXPIRED + ("",)
                return 0, "", qtid_of(user["Account"])

            key = "SessionID" if name in ("AddFollowList", "GetWYGameUserFriend", "GetGameUserProfileList",
                                         "UpdateGameProfile") else "SessionId"
            user = self.session_user(p, key)
            if name not in COMMANDS_WITH_SESSION:
                return -100, "未知命令 " + name, ""
            if not user:
                return SESSION_EXPIRED + ("",)
            if name == "UserLogout":
                st.sessions.pop(p.get("SessionId", ""), None)
                st.save()
                return 0, "", ""
            if name == "GetUserAccountByAccount":
                other = st.user_by_id(p.get("UserAccountId", ""))
                if not other:
                    return 1, "用户不存在", ""
                return 0, "", self.bare_account(other)
            if name == "SearchByNickAndProfile":
                keyword = p.get("Keyword", "")
                found = [u for u in st.users.values() if keyword in u["NickName"] or keyword in u["Account"]]
                try:
                    page = max(int(p.get("Page", "1") or 1), 1)
                    size = max(int(p.get("PageSize", "20") or 20), 1)
                except ValueError:
                    return BAD_PARAMETER + ("",)
                return 0, "", [self.user_entry(u) for u in found[(page - 1) * size: page * size]]
            if p.get("UserAccountId") is not None and p.get("UserAccountId") != user["UserAccountId"] \
                    and name != "GetUserAccountByAccount":
                return 1, "帐号不符", ""
            if name == "UpdateUserInfo":
                nick = p.get("NickName")
                if nick is not None:
                    if any(word in nick for word in NICK_SENSITIVE):
                        return -9, "昵称含有敏感词", ""
                    if any(u["NickName"] == nick and u is not user for u in st.users.values()):
                        return -10, "昵称已被使用", ""
                for field in ("NickName", "Mood", "Province", "City", "DisplayRoleId", "DisplayRoleName"):
                    if field in p:
                        user[field] = p[field]
                st.save()
                return 0, "", ""
            if name == "UpdateUserHeadImage":
                user["HeadImageUrl"] = p.get("HeadImageUrl", "")
                st.save()
                return 0, "", ""
            if name == "GetDataPrompt":
                return 0, "", dict(user["counters"])
            if name == "AddFollowList":
                added = 0
                for target_id in filter(None, p.get("FollowUserAccountIds", "").split(",")):
                    target = st.user_by_id(target_id)
                    if not target or target is user or target_id in user["follows"]:
                        continue
                    user["follows"].append(target_id)
                    target["FollowByOtherCount"] += 1
                    target["counters"]["NewFansCount"] += 1
                    added += 1
                user["FollowCount"] = len(user["follows"])
                st.save()
                return 0, "", str(added)
            if name == "AddBlog":
                blog = {"BlogId": str(len(st.blogs) + 1), "UserAccountId": user["UserAccountId"],
                        "CreateTime": now_text()}
                for field in ("BlogType", "GameCharacterID", "GameMapID", "Status", "ContentImageUrl",
                              "GameId", "PostFrom", "Content", "ShareOtherBlogIds", "QuoteBlogID",
                              "SourceBlogId", "TargetUserAccountID"):
                    blog[field] = p.get(field, "")
                st.blogs.append(blog)
                user["BlogCount"] += 1
                st.save()
                return 0, "", blog
            if name == "GetWYGameUserFriend":
                return 0, "", [self.user_entry(u) for u in st.users.values() if u is not user]
            if name == "GetGameUserProfileList":
                return 0, "", list(user["roles"])
            if name == "UpdateGameProfile":
                try:
                    changes = json.loads(p.get("json", ""))
                    for change in changes:
                        for role in user["roles"]:
                            if role["ID"] == change["ID"]:
                                role["Privacy"] = str(change["Privacy"])
                except (ValueError, TypeError, KeyError):
                    return 1, "参数错误", ""
                st.save()
                return 0, "", ""
            return -100, "未知命令 " + name, ""

    def upload(self, params, body):
        if params.get("CommandName") != "BlogImage":
            return "1", "", "unknown upload kind"
        if not body:
            return "2", "", "empty file"
        folder = os.path.join(self.args.data_dir, "uploads")
        os.makedirs(folder, exist_ok=True)
        with self.store.lock:
            name = "%d_%s.jpg" % (len(os.listdir(folder)) + 1, hashlib.sha256(body).hexdigest()[:12])
        with open(os.path.join(folder, name), "wb") as f:
            f.write(body)
        return "0", "http://%s/uploads/%s" % (self.self_address(), name), ""

    def upload_head(self, params, body):
        """A head picture from the avatar editor: (status, message, address)."""
        size = params.get("Size", "")
        if size not in ("small", "mid", "big"):
            return 1, "参数错误", ""
        dims = png_size(body)
        if dims is None:
            return 2, "不是PNG图片", ""
        st = self.store
        with st.lock:
            user = next((u for u in st.users.values() if qtid_of(u["Account"]) == params.get("Key", "")), None)
            if user is None:
                return 3, "用户不存在", ""
            folder = os.path.join(self.args.data_dir, "uploads")
            os.makedirs(folder, exist_ok=True)
            digest = hashlib.sha256(body).hexdigest()
            name = "head_%s_%s_%d_%s.png" % (user["UserAccountId"], size, len(st.head_uploads) + 1, digest[:12])
            with open(os.path.join(folder, name), "wb") as f:
                f.write(body)
            address = "http://%s/uploads/%s" % (self.self_address(), name)
            st.head_uploads.append({"Account": user["Account"], "Size": size, "Width": dims[0],
                                    "Height": dims[1], "Bytes": len(body), "Sha256": digest,
                                    "File": name, "Url": address, "Time": now_text()})
            st.save()
        return 0, "", address

    def store_dump(self, params, body):
        name = os.path.basename(params.get("fileName", "")) or "unnamed.dmp.gz"
        folder = os.path.join(self.args.data_dir, "dumps")
        os.makedirs(folder, exist_ok=True)
        # Whole or not at all: the request is on record before it is stored,
        # so a reader may look while it is being written.
        path = os.path.join(folder, name)
        with open(path + ".part", "wb") as f:
            f.write(body)
        os.replace(path + ".part", path)
        return name

    def static_file(self, path):
        """The bytes of a GET path, or None."""
        if path == "/" + self.args.gsc_path:
            return self.gsc_text().encode("utf-8")
        if path.startswith("/head/"):
            return head_picture(path[6:].encode())
        parts = [part for part in path.split("/") if part]
        if not parts or any(part in (".", "..") for part in parts):
            return None
        for root in (self.args.data_dir, self.args.static_dir):
            if not root:
                continue
            full = os.path.join(root, *parts)
            if os.path.isfile(full):
                with open(full, "rb") as f:
                    return f.read()
        return None



# The head picture every user has: a real 96 x 96 JPEG, so the client can
# show it; a comment segment right after the start marker names the picture
# asked for ("JFIF-standin <name>"), which tests look for.
HEAD_JPEG = base64.b64decode(
    "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAA0JCgsKCA0LCgsODg0PEyAVExISEyccHhcgLikxMC4pLSwzOko+MzZGNywtQFdBRkxO"
    "UlNSMj5aYVpQYEpRUk//2wBDAQ4ODhMREyYVFSZPNS01T09PT09PT09PT09PT09PT09PT09PT09PT09PT09PT09PT09PT09PT09P"
    "T09PT09PT0//wAARCABgAGADASIAAhEBAxEB/8QAGgABAAMBAQEAAAAAAAAAAAAAAAQFBgIBA//EAC4QAAICAAQDBQgDAAAAAAAA"
    "AAABAgMEBRExISJBMlFhccESE0JScpHR4TNigf/EABgBAQEBAQEAAAAAAAAAAAAAAAADAQIE/8QAHREBAQEAAwEAAwAAAAAAAAAA"
    "AAECAxExQRIhUf/aAAwDAQACEQMRAD8AsgAep4gAAAAAAAAAAAAAAAAAJNvRbgdV1ztmoVxcpPZJFnTkeImk7bIV+G7RaZbgYYOh"
    "apO2S55ehMJXf8Wzxz6oLciuitaroT8GtCtuptos9i6DhLxNiR8Zha8XS67Fx+GXWLE3frbxz4yQOra5VWyrmtJRejOSqIAAwAAA"
    "lZXBWZjRF9Ja/bj6EU+2Et9xi6rXtGS18upl8bPWvB4mmk09U9mekHqAABm89goZg2vjgpenoVxMzW5X5hZKL1jHlX+fshl8+PNr"
    "2gANcgAAAAC4yvNVVBUYl8q4Rn3eDLuEozipQkpRezT1RjDqFk63rXOUX3xehxcdqZ5LP1WybSTbaSW7ZUZlm0IwdOFl7Unwc1sv"
    "IpbLrbf5LJz+qTZwZMdetvJb4AAokAAAAAAScmlFNt7JHsYynJRim5N6JLqaXLcuhhIKc0pXNcX8vgjm66dZzdK3C5LdalK+SqT6"
    "bssK8lwce0pz+qX4LEE7q1eYkV88mwUuzCcPpl+SDicjsinLDWKf9ZcH9y+Bk1YXGaxk4Srm4Ti4yW6aOTVY/A14yvSXCxLln3fo"
    "zF1U6LZVWLSUXo0VzrtHWfxcAA6cAAAucgwqlKWJmuzyw8+rLwjZfWqsBTBfKm/N8SSQ1e69OZ1AAGOgAACpz3CqdCxMVzV8JeKL"
    "Y4tgrap1y2nFpmy9Vmp3OmNB6002nuuB4XeV/9k=")


def head_picture(name):
    comment = b"JFIF-standin " + name
    return HEAD_JPEG[:2] + b"\xff\xfe" + struct.pack(">H", len(comment) + 2) + comment + HEAD_JPEG[2:]


COMMANDS_WITH_SESSION = {
    "UserLogout", "GetUserAccountByAccount", "SearchByNickAndProfile", "UpdateUserInfo", "UpdateUserHeadImage",
    "GetDataPrompt", "AddFollowList", "AddBlog", "GetWYGameUserFriend", "GetGameUserProfileList",
    "UpdateGameProfile",
}


CORS_HEADERS = (("Access-Control-Allow-Origin", "*"), ("Access-Control-Allow-Methods", "POST, OPTIONS"),
                ("Access-Control-Allow-Headers", "Content-Type"))


class Handler(BaseHTTPRequestHandler):
    server_version = "OmbrixStandin/1.0"
    sys_version = ""

    def log_message(self, fmt, *args):  # the request log replaces the console chatter
        pass

    # ---- plumbing ---------------------------------------------------------
    @property
    def service(self):
        return self.server.service

    def read_body(self):
        """The request body; None when its length is not a number."""
        try:
            length = int(self.headers.get("Content-Length") or 0)
        except ValueError:
            return None
        return self.rfile.read(length) if length > 0 else b""

    def reply(self, status, body, content_type="text/plain; charset=utf-8", params=None, fault=None,
              headers=()):
        encoding = None
        wants_gzip = (params or {}).get("zip") == "gzip" and "gzip" in (self.headers.get("Accept-Encoding") or "")
        if self.service.gzip and wants_gzip and body:
            body = gzip.compress(body)
            encoding = "gzip"
        if fault:
            if fault.get("mode") == "badgzip":
                body, encoding = b"this is not a gzip stream", "gzip"
            if fault.get("encoding") == "none":
                if encoding:
                    body = gzip.decompress(body)
                encoding = None
            elif fault.get("encoding"):
                if encoding is None and body:
                    body = gzip.compress(body)
                encoding = fault["encoding"]
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        if encoding:
            self.send_header("Content-Encoding", encoding)
        for name, value in headers:
            self.send_header(name, value)
        try:
            self.end_headers()
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            # The client gave up on the answer (a page that moved on, a
            # program that ended): nothing to tell it any more.
            self.close_connection = True

    def envelope(self, status, message, data):
        out = {}
        if status is not None:
            out["Status"] = status
        out["Message"] = message
        out["Data"] = data
        return json.dumps(out, ensure_ascii=False).encode("utf-8")

    def do_GET(self):
        self.handle_any("GET")

    def do_POST(self):
        self.handle_any("POST")

    def do_OPTIONS(self):
        # The avatar editor page is a local file: its uploads come with a
        # "null" origin and may be preflighted.
        self.reply(204, b"", headers=CORS_HEADERS)

    def handle_any(self, method):
        url = urllib.parse.urlsplit(self.path)
        pairs = urllib.parse.parse_qsl(url.query, keep_blank_values=True)
        params = dict(pairs)
        body = self.read_body()
        if body is None:
            self.close_connection = True
            return self.reply(400, b"bad Content-Length")
        if url.path.startswith("/__control/"):
            return self.control(url.path[len("/__control/"):], params, body)
        command = params.get("CommandName", "")
        self.service.record({
            "method": method, "path": url.path, "query": url.query, "params": [list(p) for p in pairs],
            "headers": [[k, v] for k, v in self.headers.items()], "body_length": len(body),
            "body_sha256": hashlib.sha256(body).hexdigest(), "command": command, "time": time.time()})
        fault = self.service.take_fault(url.path, command)
        if fault and self.apply_fault(fault, params):
            return
        if method == "GET":
            data = self.service.static_file(url.path)
            if data is None:
                return self.reply(404, b"not found")
            if fault and fault.get("mode") in ("stall", "truncate", "nolength", "throttle", "endless"):
                return self.partial_reply(data, fault)
            kind = "text/html; charset=utf-8" if url.path.endswith((".html", ".htm", ".aspx")) \
                else "application/octet-stream"
            return self.reply(200, data, kind, fault=fault)
        if url.path == "/ClientInterface.axd":
            try:
                status, message, data = self.service.command(command, params)
            except Exception as error:  # a stand-in bug shows as a server error, not a dropped line
                return self.reply(500, self.envelope(-500, "stand-in error: %r" % (error,), ""),
                                  "application/json; charset=utf-8", params)
            if fault and fault.get("mode") == "status":
                raw = fault.get("status_json", "1")
                status = None if raw == "missing" else json.loads(raw)
                message = fault.get("message", message)
            return self.reply(200, self.envelope(status, message, data), "application/json; charset=utf-8",
                              params, fault)
        if url.path == "/UploadFile.axd":
            status, data, message = self.service.upload(params, body)
            if fault and fault.get("mode") == "status":
                status = fault.get("status_json", "1")
            xml = "<Result><Status>%s</Status><Data>%s</Data><Message>%s</Message></Result>" % (
                status, data, message)
            return self.reply(200, xml.encode("utf-8"), "text/xml; charset=utf-8", params, fault)
        if url.path == "/UploadHeadImage.axd":
            status, message, data = self.service.upload_head(params, body)
            return self.reply(200, self.envelope(status, message, data), "application/json; charset=utf-8",
                              params, fault, headers=CORS_HEADERS)
        if url.path == "/news.ashx":
            with self.service.store.lock:
                self.service.store.reports.append({k: params.get(k, "") for k in ("d", "mac", "version", "vkey")})
                self.service.store.save()
            return self.reply(200, self.envelope(0, "", ""), "application/json; charset=utf-8", params, fault)
        if url.path == "/UploadFileDMP.ashx":
            self.service.store_dump(params, body)
            return self.reply(200, self.envelope(0, "", ""), "application/json; charset=utf-8", params, fault)
        return self.reply(404, b"not found")

    def partial_reply(self, data, fault):
        """A static file sent the broken way a fault asks for."""
        mode = fault["mode"]
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if mode not in ("nolength", "endless"):
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if mode == "endless":
            filler = b" " * 65536
            try:
                self.wfile.write(data)
                while not self.service.stopping.is_set():
                    self.wfile.write(filler)
            except (BrokenPipeError, ConnectionResetError):
                pass
            return
        if mode == "throttle":
            rate = max(1024, int(fault.get("bytes_per_s", 1048576)))
            chunk = max(1, rate // 20)
            for start in range(0, len(data), chunk):
                if self.service.stopping.is_set():
                    return
                self.wfile.write(data[start:start + chunk])
                self.wfile.flush()
                time.sleep(0.05)
            return
        self.wfile.write(data if mode == "nolength" else data[:len(data) // 2])
        self.wfile.flush()
        if mode == "stall":
            deadline = time.time() + int(fault.get("hold_ms", 30000)) / 1000.0
            while time.time() < deadline and not self.service.stopping.is_set():
                time.sleep(0.02)

    def endless_reply(self, rate):
        """Blanks without a length until the client or the service gives up."""
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.end_headers()
        chunk = b" " * (max(1, rate // 20) if rate else 1 << 16)
        sent = 0
        try:
            while not self.service.stopping.is_set():
                self.wfile.write(chunk)
                self.wfile.flush()
                sent += len(chunk)
                if rate:
                    time.sleep(0.05)
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            with self.service.fault_lock:
                self.service.endless_sent.append(sent)

    def apply_fault(self, fault, params):
        """Acts out a fault; True when the request needs nothing more."""
        mode = fault.get("mode")
        if mode == "timeout":
            deadline = time.time() + int(fault.get("hold_ms", 30000)) / 1000.0
            while time.time() < deadline and not self.service.stopping.is_set():
                time.sleep(0.02)
            self.close_connection = True
            return True
        if mode == "slow":
            time.sleep(int(fault.get("delay_ms", 1000)) / 1000.0)
            return False
        if mode == "http500":
            body = fault.get("body") or self.envelope(-500, "服务器内部错误", "").decode("utf-8")
            self.reply(int(fault.get("http_status", 500)), body.encode("utf-8"), "application/json; charset=utf-8",
                       params, fault)
            return True
        if mode == "garbage":
            self.reply(200, b"<html><body>502 Bad Gateway</body></html>", "text/html", params, fault)
            return True
        if mode == "empty":
            self.reply(200, b"", "text/plain", params, fault)
            return True
        if mode == "raw":
            self.reply(200, fault.get("body", "").encode("utf-8"), "application/json; charset=utf-8", params, fault)
            return True
        if mode == "nested":
            self.reply(200, nested_body(fault.get("kind", "json"), int(fault.get("depth", "1001"))),
                       "text/plain; charset=utf-8", params, fault)
            return True
        if mode == "notfound":
            self.reply(404, b"not found", "text/plain", None, None)
            return True
        if mode == "redirect":
            self.reply(302, b"moved", "text/plain", None, None,
                       headers=(("Location", fault.get("location", "/")),))
            return True
        if mode == "bomb":
            body = self.service.bomb(int(fault.get("inflated", 1 << 28)))
            self.send_response(200)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Content-Encoding", "gzip")
            self.end_headers()
            try:
                self.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True
            return True
        if mode == "endless":
            self.endless_reply(int(fault.get("bytes_per_s", 0)))
            return True
        if mode == "trickle":
            self.close_connection = True
            size = int(fault.get("size", 1048576))
            self.send_response(200)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(size))
            self.end_headers()
            deadline = time.time() + int(fault.get("hold_ms", 30000)) / 1000.0
            interval = int(fault.get("interval_ms", 200)) / 1000.0
            try:
                for _ in range(size):
                    if time.time() > deadline or self.service.stopping.is_set():
                        break
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(interval)
            except (BrokenPipeError, ConnectionResetError):
                pass
            return True
        if mode == "huge":
            self.reply(200, b"x" * int(fault.get("size", 1048576)), "application/json; charset=utf-8", params, fault)
            return True
        if mode == "drop":
            self.close_connection = True
            try:
                self.connection.shutdown(2)
            except OSError:
                pass
            return True
        return False  # status, badgzip and encoding faults shape the normal reply

    # ---- control ----------------------------------------------------------
    def control(self, action, params, body):
        try:
            result = self.act(action, params, body)
        except BadRequest as error:
            return self.reply(400, json.dumps({"ok": False, "error": str(error)}, ensure_ascii=False).encode("utf-8"),
                              "application/json")
        if result is None:
            return self.reply(404, b"unknown control action")
        return self.reply(200, json.dumps(result, ensure_ascii=False).encode("utf-8"), "application/json")

    def act(self, action, params, body):
        """Carries out a control request; its JSON answer, None for an unknown action."""
        svc = self.service
        st = svc.store
        result = {"ok": True}
        if action == "fault":
            fault = dict(params)
            fault["count"] = int_param(params, "count", "1")
            for key, default in (("hold_ms", "30000"), ("delay_ms", "1000"), ("http_status", "500"),
                                 ("depth", "1001"), ("bytes_per_s", "1048576"), ("inflated", "268435456"),
                                 ("size", "1048576"), ("interval_ms", "200")):
                int_param(params, key, default)
            fault.setdefault("path", "/ClientInterface.axd")
            if fault.get("mode") == "nested" and fault.get("kind", "json") not in NESTED_KINDS:
                raise BadRequest("kind must be one of " + ", ".join(NESTED_KINDS))
            with svc.fault_lock:
                svc.faults.append(fault)
        elif action == "clear":
            with svc.fault_lock:
                svc.faults.clear()
        elif action == "user":
            account, password = required(params, "account", "password")
            profile = {k: params[k] for k in PROFILE_KEYS if k in params}
            for key in NUMBER_KEYS:
                if key in profile:
                    profile[key] = int_param(profile, key, "0")
            user_id = params.get("id")
            if user_id is not None and not user_id:
                raise BadRequest("id must not be empty")
            user = st.add_user(account, password, params.get("nick", ""), user_id, params.get("ticket"), profile)
            result["UserAccountId"] = user["UserAccountId"]
            result["cipher"] = cipher_of(user["Account"], user["password"])
        elif action == "ticket":
            ticket, account = required(params, "ticket", "account")
            with st.lock:
                st.tickets[ticket] = account
                st.save()
        elif action == "prompt":
            (account,) = required(params, "account")
            changes = {name: int_param(params, key, "0") for key, name in (
                ("about", "NewAboutUserBlogCount"), ("mirror", "NewMirrorBlogCount"),
                ("message", "NewMessageCount"), ("fans", "NewFansCount")) if key in params}
            with st.lock:
                if account not in st.users:
                    raise BadRequest("no user %r" % account)
                st.users[account]["counters"].update(changes)
                st.save()
        elif action == "settings":
            if "gzip" in params:
                svc.gzip = params["gzip"] == "1"
        elif action == "gsc":
            svc.gsc_override = body.decode("utf-8") if body else None
        elif action == "state":
            with st.lock:
                result = {k: getattr(st, k) for k in ("users", "sessions", "tickets", "blogs", "feedback",
                                                      "reports", "head_uploads")}
            with svc.fault_lock:
                result["endless_sent"] = list(svc.endless_sent)
        elif action == "log":
            with svc.log_lock:
                result = list(svc.log)
        else:
            return None
        return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1", help="IPv4 address to listen on (and to name in links)")
    parser.add_argument("--port", type=int, default=18080, help="0 picks a free port")
    parser.add_argument("--port-file", help="write the port here once listening")
    parser.add_argument("--data-dir", default=None, help="uploads and dumps (default: a folder in /tmp)")
    parser.add_argument("--static-dir", default=None, help="more files to serve by GET")
    parser.add_argument("--state", default=None, help="keep users and sessions in this JSON file")
    parser.add_argument("--request-log", default=None, help="append every request here (JSON lines)")
    parser.add_argument("--gsc-path", default="gsc", help="GET path of the server configuration")
    parser.add_argument("--ice-server", default="127.0.0.1:19000", help="host:port of the IceServer node")
    parser.add_argument("--dc-server", default=None, help="host:port of the DCServer node (default: here)")
    parser.add_argument("--image-server", default=None, help="host:port of ImageStorageServer (default: here)")
    parser.add_argument("--user", action="append", default=[], help="account:password[:nick], repeatable")
    parser.add_argument("--demo-user", action="store_true", help="add the demo user and a friend")
    parser.add_argument("--demo-blog", action="store_true", help="give the demo user a first diary entry")
    parser.add_argument("--demo-account", default="demo")
    parser.add_argument("--demo-password", default="ombrix2024")
    args = parser.parse_args()
    if args.data_dir is None:
        import tempfile
        args.data_dir = tempfile.mkdtemp(prefix="ombrix-web-")
    os.makedirs(args.data_dir, exist_ok=True)

    service = Service(args)
    server = ThreadingHTTPServer((args.host, args.port), Handler)
    server.daemon_threads = True
    server.service = service
    service.port = server.server_address[1]

    for spec in args.user:
        account, password, *rest = spec.split(":")
        service.store.add_user(account, password, rest[0] if rest else "")
    if args.demo_user:
        demo = service.store.add_user(args.demo_account, args.demo_password, "演示玩家", ticket="demo-ticket")
        if args.demo_blog and demo is not None and not any(b.get("UserAccountId") == demo["UserAccountId"]
                                        for b in service.store.blogs):
            service.store.blogs.append({"BlogId": str(len(service.store.blogs) + 1),
                                        "UserAccountId": demo["UserAccountId"], "CreateTime": now_text(),
                                        "Content": "第一篇日记：今晚和好友一起通关了副本！", "PostFrom": "Demo Game",
                                        "ContentImageUrl": "", "GameId": "other", "BlogType": "1"})
        service.store.add_user("buddy", "buddy2024", "好友小明")
        print("Ombrix web stand-in: demo user account '%s', password '%s' (ticket 'demo-ticket')"
              % (args.demo_account, args.demo_password), flush=True)
    print("Ombrix web stand-in listening on http://%s/ (gsc at /%s, data in %s)"
          % (service.self_address(), args.gsc_path, args.data_dir), flush=True)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % service.port)
        os.replace(tmp, args.port_file)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        service.stopping.set()
        server.server_close()


if __name__ == "__main__":
    sys.exit(main())
