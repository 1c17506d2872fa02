#!/usr/bin/env python3
"""Attacks a quarvel-server (or any HTTP server at a loopback port) the way RELIABILITY.md
records: idle connections and slow-loris clients while a new request is timed; random
bytes as bodies, huge headers, bad percent-encoding, Accept-Language that cannot be
read; many requests with random options while the server's resident memory is sampled; and the attacks of one client on all the
others. Every request loop is bounded in count and time, and only the loopback is
spoken to: the attacking client from 127.0.0.2, the others from 127.0.0.1.

  scripts/attack-server.py starve PORT [IDLE] [SLOW] [SECONDS]   (default 500 100 10)
  scripts/attack-server.py garbage PORT [COUNT]                  (default 2000)
  scripts/attack-server.py soak PORT PID [COUNT] [CLIENTS]       (default 100000 2)
  scripts/attack-server.py memory PORT [COUNT]                   (default 16)
  scripts/attack-server.py trailers PORT PID [MEGABYTES]         (default 300)
  scripts/attack-server.py codings PORT
  scripts/attack-server.py silent PORT PID [COUNT] [SECONDS]     (default 2000 20)
  scripts/attack-server.py slowbody PORT PID [COUNT] [SECONDS]   (default 260 20)
  scripts/attack-server.py costly PORT PID [AT-ONCE] [SECONDS]   (default 4 20)
  scripts/attack-server.py noise PORT PID [COUNT]                (default 20000)

starve: opens IDLE connections that send nothing and SLOW connections that send a
request one byte every 0.5 s, then asks for a picture every 0.25 s for SECONDS and
prints the latencies (the slowest must stay under 1 s). garbage and soak print how many
answers were pictures, JSON errors or anything else (which must be none). memory sends
COUNT bodies of 14.5 MB, 8 at once, for a server started with --max-body 16M under a
memory limit (ulimit -v 90000): every answer must be a picture or a JSON 503.

trailers sends a chunked request whose trailer holds one field of 65,534 bytes (which
once ended the server), then one whose trailers go on for MEGABYTES of small fields
(which it once took whole): each must get 431 and the server must go on. codings sends
Transfer-Encodings that do not end in chunked with a request hidden in the body: each
must get 400 (501 for gzip, chunked) and the hidden request no answer. silent opens
COUNT connections that never send a byte and opens them again as they close; slowbody
opens COUNT requests that announce a 1 MB body and send one byte, again as they end;
costly keeps AT-ONCE pictures of 6,400 characters that no font has (new ones each time)
asked; noise sends COUNT connections of random bytes, 64 at once. Meanwhile and after,
another client asks /healthz and a small picture every 0.25 s: each must be answered,
within a second, and the server's resident memory is printed."""

import concurrent.futures
import random
import socket
import sys
import threading
import time

HOST = "127.0.0.1"
ART = "  ∧＿∧\n（　´∀｀）＜　ｵﾏｴﾓﾅｰ\n（　　　　）\n｜ ｜　|\n（_＿)＿）\n".encode()


def read_answer(sock, head=False, limit=10.0):
    """(status, headers, body) of one answer; status 0 when none came within the limit."""
    sock.settimeout(limit)
    data = b""
    try:
        while b"\r\n\r\n" not in data:
            chunk = sock.recv(65536)
            if not chunk:
                return 0, {}, b""
            data += chunk
        head_text, rest = data.split(b"\r\n\r\n", 1)
        lines = head_text.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        length = 0 if head or status in (204, 304) else int(headers.get("content-length", "0"))
        while len(rest) < length:
            chunk = sock.recv(65536)
            if not chunk:
                break
            rest += chunk
        return status, headers, rest[:length]
    except (socket.timeout, OSError):
        return 0, {}, b""


def kind(status, headers, body):
    if status == 200 and headers.get("content-type") == "image/png" and body.startswith(b"\x89PNG\r\n\x1a\n"):
        return "picture"
    if status >= 400 and headers.get("content-type", "").startswith("application/json") and \
            body.startswith(b'{"error": "') and body.endswith(b'"}\n'):
        return "json-%d" % status
    if status in (200, 204, 304) or (status >= 400 and not body and "application/json" in
                                     headers.get("content-type", "")):  # HEAD: no body
        return "ok-%d" % status
    return "OTHER-%d" % status


def request(method, target, body=b"", headers=()):
    text = "%s %s HTTP/1.1\r\nHost: %s\r\n" % (method, target, HOST)
    for h in headers:
        text += h + "\r\n"
    if body or method == "POST":
        text += "Content-Length: %d\r\n" % len(body)
    return text.encode("latin-1") + b"\r\n" + body


def one(port, data, limit=10.0):
    with socket.create_connection((HOST, port), timeout=limit) as s:
        try:
            s.sendall(data)
        except OSError:
            pass
        return read_answer(s, head=data.startswith(b"HEAD "), limit=limit)


def starve(port, idle=500, slow=100, seconds=10):
    held = [socket.create_connection((HOST, port)) for _ in range(idle)]
    loris = []
    for _ in range(slow):
        s = socket.create_connection((HOST, port))
        s.sendall(b"POST /render HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n")
        loris.append(s)
    stop = time.time() + seconds
    latencies, statuses = [], {}
    next_drip = time.time()
    while time.time() < stop:
        if time.time() >= next_drip:
            for s in loris:
                try:
                    s.sendall(b"X")
                except OSError:
                    pass
            next_drip += 0.5
        start = time.time()
        status, headers, body = one(port, request("POST", "/render", ART, ["Content-Type: text/plain"]), limit=5)
        latencies.append((time.time() - start) * 1000)
        statuses[kind(status, headers, body)] = statuses.get(kind(status, headers, body), 0) + 1
        time.sleep(0.25)
    alive = 0
    for s in held:
        s.setblocking(False)
        try:
            alive += s.recv(1) != b""
        except BlockingIOError:
            alive += 1
        except OSError:
            pass
    for s in held + loris:
        s.close()
    latencies.sort()
    print("idle %d, slow %d, %d new requests: %s; latency ms: median %.1f, max %.1f; idle still open: %d"
          % (idle, slow, len(latencies), statuses, latencies[len(latencies) // 2], latencies[-1], alive))
    return 0 if latencies[-1] < 1000 and list(statuses) == ["picture"] else 1


def garbage(port, count=2000):
    rnd = random.Random(1)
    counts = {}
    cases = []
    for i in range(count):
        choice = i % 6
        if choice == 0:  # random bytes as the body, random types
            body = bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(0, 4096)))
            t = rnd.choice(["text/plain", "text/plain; charset=shift_jis", "text/plain; charset=utf-8",
                            "application/octet-stream", "text/plain; charset=\x01", ""])
            cases.append(request("POST", "/render", body, ["Content-Type: " + t] if t else []))
        elif choice == 1:  # huge headers
            n = rnd.choice([1000, 60000, 70000, 200000])
            cases.append(request("GET", "/healthz", b"", ["X-Huge: " + "a" * n]))
        elif choice == 2:  # bad percent-encoding and odd targets
            target = "/render?" + "".join(rnd.choice(["%", "%Z", "%4", "%E3%81", "+", "&", "=", "text=",
                                                      "margin=", "a", "%00", "%FF"]) for _ in range(rnd.randrange(1, 12)))
            cases.append(request("GET", target))
        elif choice == 3:  # random bytes as the whole request
            cases.append(bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(1, 2048))) + b"\r\n\r\n")
        elif choice == 4:  # Accept-Language of the page: bad weights and tags, thousands of entries, huge
            entries = ["ja", "en", "*", "fr-FR", "", "@", "ja-", "q=1", "en;q=2", "ja;q=0.", "en;q=-1",
                       "en;q=0.1234", ";;", "x" * rnd.randrange(1, 3000), "en;q=" + "9" * rnd.randrange(1, 400),
                       "\x01", "ja;q=0;q=1"]
            size, value = rnd.choice([100, 60000, 70000]), ""
            while len(value) < size:
                value += rnd.choice(entries) + ","
            cases.append(request("GET", "/", b"", ["Accept-Language: " + value[:size]]))
        elif choice == 5:  # a random request line with random bytes in its target
            target = "/" + "".join(chr(rnd.randrange(33, 127)) for _ in range(rnd.randrange(0, 64)))
            cases.append(request(rnd.choice(["GET", "POST", "HEAD", "BREW", "OPTIONS"]), target, b"x"))
    # Many at once: a request that stops half-way waits for the server's request timeout.
    with concurrent.futures.ThreadPoolExecutor(64) as pool:
        for k in pool.map(lambda data: kind(*one(port, data, limit=30)), cases):
            counts[k] = counts.get(k, 0) + 1
    print("garbage: %d requests: %s" % (count, dict(sorted(counts.items()))))
    return 0 if not any(k.startswith("OTHER") for k in counts) else 1


def rss_kb(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def soak(port, pid, count=100000, clients=2):
    counts, lock = {}, threading.Lock()
    samples = []
    done = [0]

    def client(seed, n):
        rnd = random.Random(seed)
        s = socket.create_connection((HOST, port))
        for i in range(n):
            q = []
            if rnd.random() < 0.5: q.append("fore=%06X" % rnd.getrandbits(24))
            if rnd.random() < 0.5: q.append("back=%06X" % rnd.getrandbits(24))
            if rnd.random() < 0.5: q.append("margin=%d" % rnd.randrange(-5, 110))
            if rnd.random() < 0.3: q.append("space-sim=%s" % rnd.choice(["0", "1", "maybe"]))
            if rnd.random() < 0.3: q.append("indexed=1")
            if rnd.random() < 0.2: q.append("html=1")
            if rnd.random() < 0.05: q.append(rnd.choice(["colour=red", "%zz", "encoding=cp932"]))
            art = ART if rnd.random() < 0.9 else bytes(rnd.getrandbits(8) for _ in range(64))
            try:
                s.sendall(request("POST", "/render?" + "&".join(q), art, ["Content-Type: text/plain"]))
                k = kind(*read_answer(s))
            except OSError:
                k = "OTHER-closed"
            if k.startswith("OTHER"):
                s.close()
                s = socket.create_connection((HOST, port))
            with lock:
                counts[k] = counts.get(k, 0) + 1
                done[0] += 1
                if done[0] % (count // 10) == 0:
                    samples.append((done[0], rss_kb(pid)))
        s.close()

    start = time.time()
    samples.append((0, rss_kb(pid)))
    threads = [threading.Thread(target=client, args=(i, count // clients)) for i in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print("soak: %d requests in %.0f s: %s" % (done[0], time.time() - start, dict(sorted(counts.items()))))
    print("RSS (kB) after requests: " + ", ".join("%d: %d" % s for s in samples))
    return 0 if not any(k.startswith("OTHER") for k in counts) else 1


def memory(port, count=16):
    body = ("あ" * 60 + "\n").encode() * 80000
    data = request("POST", "/render", body, ["Content-Type: text/plain"])
    counts = {}
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        for k in pool.map(lambda _: kind(*one(port, data, limit=60)), range(count)):
            counts[k] = counts.get(k, 0) + 1
    after = kind(*one(port, request("GET", "/healthz")))
    print("memory: %d bodies of %d bytes: %s; then /healthz: %s" % (count, len(body), dict(sorted(counts.items())), after))
    return 0 if not any(k.startswith("OTHER") for k in counts) and after == "ok-200" else 1


def rss_line(pid):
    return "RSS %d kB" % rss_kb(pid) if pid else ""


def connect_as_attacker(port, timeout=10):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.settimeout(timeout)
    s.bind(("127.0.0.2", 0))
    s.connect((HOST, port))
    return s


def probe(port, stop, pid):
    """/healthz and a small picture every 0.25 s until stop() (at least once each):
    (worst latency in ms, statuses, peak RSS in kB)."""
    worst, statuses, peak = 0.0, {}, 0
    while True:
        for data in (request("GET", "/healthz"), request("POST", "/render", ART, ["Content-Type: text/plain"])):
            start = time.time()
            k = kind(*one(port, data, limit=10))
            worst = max(worst, (time.time() - start) * 1000)
            statuses[k] = statuses.get(k, 0) + 1
        if pid:
            peak = max(peak, rss_kb(pid))
        if stop():
            return worst, statuses, peak
        time.sleep(0.25)


def under_attack(port, pid, seconds, attack, name):
    """Runs attack(stop) on its own thread for SECONDS while probing, then probes again."""
    done = threading.Event()
    thread = threading.Thread(target=attack, args=(done.is_set,))
    thread.start()
    end = time.time() + seconds
    worst, statuses, peak = probe(port, lambda: time.time() >= end, pid)
    done.set()
    thread.join()
    after_worst, after, _ = probe(port, lambda: True, pid)
    good = set(statuses) <= {"ok-200", "picture"} and set(after) <= {"ok-200", "picture"}
    print("%s: others during: %s, slowest %.1f ms; after: %s, slowest %.1f ms; peak RSS %d kB; now %s"
          % (name, dict(sorted(statuses.items())), worst, dict(sorted(after.items())), after_worst, peak,
             rss_line(pid)))
    return 0 if good and worst < 1000 and after_worst < 1000 else 1


def held_open(port, count, opening, stop):
    """Keeps COUNT connections made by opening(socket) open, opening again those the server ends."""
    socks = []
    while not stop():
        while len(socks) < count and not stop():
            try:
                s = connect_as_attacker(port)
                opening(s)
                s.setblocking(False)
                socks.append(s)
            except OSError:
                time.sleep(0.01)
        alive = []
        for s in socks:
            try:
                gone = s.recv(65536) == b""
            except BlockingIOError:
                gone = False
            except OSError:
                gone = True
            if gone:
                s.close()
            else:
                alive.append(s)
        socks = alive
        time.sleep(0.05)
    for s in socks:
        s.close()


def silent(port, pid, count=2000, seconds=20):
    return under_attack(port, pid, seconds, lambda stop: held_open(port, count, lambda s: None, stop),
                        "silent %d" % count)


def slowbody(port, pid, count=260, seconds=20):
    head = b"POST /render HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\nContent-Length: 1048576\r\n\r\na"
    return under_attack(port, pid, seconds, lambda stop: held_open(port, count, lambda s: s.sendall(head), stop),
                        "slowbody %d" % count)


def faceless_art(first):
    """6,400 characters of planes no character is assigned in: no font has any."""
    return "\n".join("".join(chr(first + line * 128 + i) for i in range(128)) for line in range(50)).encode()


def costly(port, pid, at_once=4, seconds=20):
    counter = [0x40000]
    lock = threading.Lock()
    answers = {}

    def client(stop):
        while not stop():
            with lock:
                first = counter[0]
                counter[0] = 0x40000 + (counter[0] + 6400 - 0x40000) % (0xE0000 - 0x40000)
            data = request("POST", "/render", faceless_art(first), ["Content-Type: text/plain"])
            try:
                s = connect_as_attacker(port, timeout=60)
                s.sendall(data)
                k = kind(*read_answer(s, limit=60))
                s.close()
            except OSError:
                k = "OTHER-closed"
            with lock:
                answers[k] = answers.get(k, 0) + 1

    def attack(stop):
        threads = [threading.Thread(target=client, args=(stop,)) for _ in range(at_once)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    status = under_attack(port, pid, seconds, attack, "costly %d at once" % at_once)
    print("costly pictures: %s" % dict(sorted(answers.items())))
    return status


def trailers(port, pid, megabytes=300):
    head = (b"POST /render HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n"
            b"5\r\nhello\r\n0\r\n")
    results = []
    results.append(kind(*one(port, head + b"X-T: " + b"a" * 65534 + b"\r\n\r\n")))
    with socket.create_connection((HOST, port)) as s:
        s.sendall(head)
        line = b"X-T: " + b"a" * 1000 + b"\r\n"
        sent = 0
        try:
            while sent < megabytes << 20:
                s.sendall(line * 64)
                sent += len(line) * 64
        except OSError:
            pass  # the server answered and closed
        results.append(kind(*read_answer(s)))
    after = kind(*one(port, request("GET", "/healthz")))
    print("trailers: one field of 65,534 bytes: %s; %d MB of fields offered, %d kB sent: %s; then /healthz: %s; %s"
          % (results[0], megabytes, sent >> 10, results[1], after, rss_line(pid)))
    return 0 if results == ["json-431", "json-431"] and after == "ok-200" else 1


def codings(port):
    hidden = b"GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n"
    expected = {b"gzip": 400, b"xchunked": 400, b"chunked, identity": 400, b"gzip, chunked": 501}
    good = True
    for coding, status in expected.items():
        with socket.create_connection((HOST, port)) as s:
            s.sendall(b"POST /render HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\nTransfer-Encoding: " + coding +
                      b"\r\n\r\n" + hidden)
            first = read_answer(s)
            second = read_answer(s, limit=3)
        print("codings: %-18s %s; the request in its body: %s" % (coding.decode(), kind(*first),
                                                                  "answered" if second[0] else "not answered"))
        good = good and first[0] == status and second[0] == 0
    return 0 if good else 1


def noise(port, pid, count=20000):
    rnd = random.Random(2)
    cases = [bytes(rnd.getrandbits(8) for _ in range(rnd.randrange(1, 4096))) for _ in range(count)]
    counts = {}
    with concurrent.futures.ThreadPoolExecutor(64) as pool:
        for k in pool.map(lambda data: kind(*one(port, data, limit=30)), cases):
            counts[k] = counts.get(k, 0) + 1
    after = kind(*one(port, request("GET", "/healthz")))
    print("noise: %d connections of random bytes: %s; then /healthz: %s; %s"
          % (count, dict(sorted(counts.items())), after, rss_line(pid)))
    # A connection the server closes unanswered (status 0) is fine: it waited for a head.
    return 0 if not any(k.startswith("OTHER") and k != "OTHER-0" for k in counts) and after == "ok-200" else 1


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    what, port, rest = sys.argv[1], int(sys.argv[2]), [int(a) for a in sys.argv[3:]]
    if what == "starve":
        return starve(port, *rest)
    if what == "garbage":
        return garbage(port, *rest)
    if what == "soak":
        return soak(port, *rest)
    if what == "memory":
        return memory(port, *rest)
    if what in ("trailers", "silent", "slowbody", "costly", "noise"):
        return globals()[what](port, *rest)
    if what == "codings":
        return codings(port)
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
