#!/usr/bin/python3
"""A TCP proxy that delays every chunk, as a mobile link between a program and a device server.

Each chunk read from one side reaches the other side DELAY ms later, give or take JITTER (a
fraction: 0.2 draws each delay from 80 % to 120 % of DELAY), never before a chunk read earlier
in the same direction. A round trip through the proxy therefore takes about twice DELAY. A side
that closes is closed on the other side once its last chunk has gone. Every connection gets its
own connection to the target; --turn-away closes the listed connections (counted from 1) at
once, as a device server that serves one client at a time does while it is busy.

Prints "Listening on PORT" when it accepts connections and "Connection N" for each one.
Usage: delay_proxy.py --target HOST:PORT [--listen HOST:PORT] [--delay MS] [--jitter FRACTION]
                      [--seed N] [--turn-away N,N...]
"""
import argparse
import heapq
import itertools
import random
import selectors
import socket
import sys
import time


LONG_WAIT = 0.010
LEAD = 0.003


def address(text):
    host, _, port = text.rpartition(":")
    return host, int(port)


class Direction:
    """Chunks from one socket on their way to the other, each with its time of arrival."""

    def __init__(self, source, sink):
        self.source = source
        self.sink = sink
        self.last_due = 0.0
        self.closed = False  # the source has closed; the sink is shut once all has gone


class Proxy:
    def __init__(self, options):
        self.delay = options.delay / 1000.0
        self.jitter = options.jitter
        self.random = random.Random(options.seed)
        self.target = address(options.target)
        self.turn_away = {int(n) for n in options.turn_away.split(",") if n}
        # select() waits to the microsecond; epoll and poll round a wait up to whole
        # milliseconds, which would add up to a millisecond to every chunk.
        self.selector = selectors.SelectSelector()
        self.pending = []  # (due, sequence, direction, bytes or None for the close)
        self.sequence = itertools.count()
        self.count = 0
        self.listener = socket.create_server(address(options.listen), reuse_port=False)
        self.listener.setblocking(False)
        self.selector.register(self.listener, selectors.EVENT_READ, None)
        print("Listening on %d" % self.listener.getsockname()[1], flush=True)

    def draw_delay(self):
        return self.delay * (1 + self.jitter * self.random.uniform(-1, 1))

    def accept(self):
        client, _ = self.listener.accept()
        self.count += 1
        print("Connection %d" % self.count, flush=True)
        if self.count in self.turn_away:
            client.close()
            return
        try:
            server = socket.create_connection(self.target, timeout=5)
        except OSError:
            client.close()
            return
        for s in (client, server):
            s.setblocking(True)
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for source, sink in ((client, server), (server, client)):
            self.selector.register(source, selectors.EVENT_READ, Direction(source, sink))

    def drop(self, *sockets):
        for s in sockets:
            try:
                self.selector.unregister(s)
            except (KeyError, ValueError):
                pass
            s.close()

    def read(self, direction):
        try:
            data = direction.source.recv(65536)
        except OSError:
            data = b""
        due = max(direction.last_due, time.monotonic() + self.draw_delay())
        direction.last_due = due
        if not data:
            self.selector.unregister(direction.source)
            direction.closed = True
        heapq.heappush(self.pending, (due, next(self.sequence), direction, data or None))

    def deliver(self, direction, data):
        if direction.sink.fileno() < 0:
            return
        try:
            if data is None:
                direction.sink.shutdown(socket.SHUT_WR)
            else:
                direction.sink.sendall(data)
        except OSError:
            self.drop(direction.source, direction.sink)
            return
        if data is None and self.both_closed(direction):
            self.drop(direction.source, direction.sink)

    def both_closed(self, direction):
        for key in self.selector.get_map().values():
            other = key.data
            if other is not None and other.source is direction.sink:
                return False
        return not any(d.source is direction.sink for _, _, d, _ in self.pending)

    def run(self):
        while True:
            now = time.monotonic()
            while self.pending and self.pending[0][0] <= now:
                _, _, direction, data = heapq.heappop(self.pending)
                self.deliver(direction, data)
            # A long wait is cut short by a little: the system lets a wait of t run up to
            # t/1000 late, which the last short wait then does not.
            timeout = None
            if self.pending:
                timeout = self.pending[0][0] - now
                if timeout > LONG_WAIT:
                    timeout -= LEAD
            for key, _ in self.selector.select(timeout):
                if key.data is None:
                    self.accept()
                else:
                    self.read(key.data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--target", required=True)
    parser.add_argument("--listen", default="127.0.0.1:0")
    parser.add_argument("--delay", type=float, default=0, help="one-way delay in ms")
    parser.add_argument("--jitter", type=float, default=0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--turn-away", default="")
    try:
        Proxy(parser.parse_args()).run()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
