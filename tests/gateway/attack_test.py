#!/usr/bin/python3
"""The gateway binary under attack on loopback, bounded in count and time.

attack_test.py GATEWAY [MOSQUITTO]: slow clients that never finish their request heads, a 20 MB
chunked body, a cross-site write, an oversized MQTT publish (with MOSQUITTO only), and a SIGTERM
with the slow clients still connected. Prints what it measured.
"""
from http.client import HTTPConnection
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

WAIT_S = 10                # the bound on any one wait, never a measure of speed
SLOW_CLIENTS = 300
CLIENTS_AN_ADDRESS = 50    # under the gateway's share for one address
BIG_BODY = 20 * 1024 * 1024
RSS_GROWTH_BOUND_KB = 48 * 1024  # the body whole would be 20 MB, and more as it is parsed
HEALTH_BOUND_S = 1.0       # generous beside the few milliseconds it takes
STOP_BOUND_S = 1.0
LARGE_PUTS = 300
LARGE_BODY = 500 * 1024
LONGEST_TEXT = 32767
RSS_AFTER_BOUND_KB = 64 * 1024  # in a build without sanitizers: theirs holds what is freed


def free_port(host='127.0.0.1'):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def rss_kb(pid):
    with open(f'/proc/{pid}/status') as status:
        for line in status:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return 0


def http(port, head, body=b''):
    """Sends a request (its head as text) and gives the status, or None when none came."""
    with socket.create_connection(('127.0.0.1', port), timeout=WAIT_S) as s:
        s.sendall(head.encode() + body)
        answer = s.recv(4096).decode(errors='replace')
    return int(answer.split()[1]) if answer.startswith('HTTP/1.1 ') else None


def wait_for_line(process, text, lines):
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        line = process.stderr.readline()
        lines.append(line)
        if text in line:
            return line
    raise AssertionError(f'no "{text}" in {lines}')


def sanitized(pid):
    with open(f'/proc/{pid}/maps') as maps:
        return 'libasan' in maps.read()


def large_puts(port, pid, count):
    """One event stream that reads nothing, and `count` large messages PUT while it is open: every
    other one too long to be taken, the rest as long as a message may be. The gateway's RSS before,
    at its peak and after the stream has gone (kB)."""
    before = rss_kb(pid)
    stream = socket.create_connection(('127.0.0.1', port), timeout=WAIT_S)
    stream.sendall(b'GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n')
    assert stream.recv(4096).startswith(b'HTTP/1.1 200')
    client = HTTPConnection('127.0.0.1', port, timeout=WAIT_S)
    peak = 0
    for i in range(count):
        text = f'{i} ' + 'x' * (LARGE_BODY if i % 2 else LONGEST_TEXT - 8)
        client.request('PUT', '/api/signs/dock/message', json.dumps({'lines': [text]}),
                       {'Content-Type': 'application/json'})
        answer = client.getresponse()
        answer.read()
        assert answer.status == (400 if i % 2 else 202), answer.status
        peak = max(peak, rss_kb(pid))
    client.close()
    stream.close()
    deadline = time.monotonic() + (0 if sanitized(pid) else WAIT_S)
    while rss_kb(pid) >= RSS_AFTER_BOUND_KB and time.monotonic() < deadline:
        time.sleep(0.1)
    return before, peak, rss_kb(pid)


def mqtt_packet(kind, body):
    length, encoded = len(body), bytearray()
    while True:
        digit, length = length % 128, length // 128
        encoded.append(digit | (0x80 if length else 0))
        if not length:
            return bytes([kind]) + bytes(encoded) + body


def mqtt_text(text):
    return len(text).to_bytes(2, 'big') + text.encode()


def mqtt_read(s):
    kind = s.recv(1)[0]
    length, shift = 0, 0
    while True:
        digit = s.recv(1)[0]
        length += (digit & 0x7F) << shift
        shift += 7
        if not digit & 0x80:
            break
    body = b''
    while len(body) < length:
        body += s.recv(length - len(body))
    return kind, body


def oversized_publish(broker_port):
    """Publishes 2 MB on a sign's set topic; what comes on its error topic."""
    with socket.create_connection(('127.0.0.1', broker_port), timeout=WAIT_S) as s:
        s.sendall(mqtt_packet(0x10, mqtt_text('MQTT') + bytes([4, 2, 0, 60]) +
                              mqtt_text('attack-test')))
        assert mqtt_read(s)[0] == 0x20
        # The gateway's state comes after its own subscriptions: then it hears the publish.
        s.sendall(mqtt_packet(0x82, b'\x00\x01' + mqtt_text('lumivex/dock/error') + b'\x00' +
                              mqtt_text('lumivex/dock/state') + b'\x00'))
        assert mqtt_read(s)[0] == 0x90
        published = False
        while True:
            kind, body = mqtt_read(s)
            if kind & 0xF0 != 0x30:
                continue
            topic_end = 2 + int.from_bytes(body[:2], 'big')
            if body[2:topic_end] == b'lumivex/dock/error':
                return body[topic_end:].decode()
            if not published:
                payload = json.dumps({'lines': ['x' * (2 * 1024 * 1024)]}).encode()
                s.sendall(mqtt_packet(0x30, mqtt_text('lumivex/dock/message/set') + payload))
                published = True


def main():
    gateway_path = sys.argv[1]
    mosquitto = sys.argv[2] if len(sys.argv) > 2 and os.access(sys.argv[2], os.X_OK) else None
    folder = tempfile.mkdtemp(prefix='lumivex-attack-')
    programs, slow = [], []
    figures = []
    try:
        config = {'name': 'hall-b', 'http': '127.0.0.1:0', 'stateDir': 'state'}
        broker_port = None
        if mosquitto:
            broker_port = free_port()
            with open(os.path.join(folder, 'mosquitto.conf'), 'w') as f:
                f.write(f'listener {broker_port} 127.0.0.1\nallow_anonymous true\n')
            programs.append(subprocess.Popen([mosquitto, '-c', f.name],
                                             stderr=subprocess.DEVNULL))
            config['mqtt'] = {'url': f'tcp://127.0.0.1:{broker_port}'}
        # A sign whose address nobody listens on: sends fail, which no case here minds.
        with open(os.path.join(folder, 'signs.json'), 'w') as f:
            json.dump({'signs': [{'name': 'dock', 'link': '127.0.0.2',
                                  'tcpPort': free_port('127.0.0.2')}]}, f)
        with open(os.path.join(folder, 'gateway.json'), 'w') as f:
            json.dump(config, f)
        gateway = subprocess.Popen([gateway_path, '--config', f.name], stderr=subprocess.PIPE,
                                   text=True)
        programs.append(gateway)
        lines = []
        line = wait_for_line(gateway, 'listening on http://', lines)
        port = int(line.strip().rsplit(':', 1)[1])
        if mosquitto:
            wait_for_line(gateway, 'broker connected', lines)
        threading.Thread(target=lambda: [None for _ in gateway.stderr], daemon=True).start()

        # Clients that open a request and never finish its head.
        for i in range(SLOW_CLIENTS):
            s = socket.socket()
            s.bind((f'127.0.0.{10 + i // CLIENTS_AN_ADDRESS}', 0))
            s.connect(('127.0.0.1', port))
            s.sendall(b'GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ')
            slow.append(s)
        start = time.monotonic()
        status = http(port, 'GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n')
        took = time.monotonic() - start
        assert status == 200, status
        assert took < HEALTH_BOUND_S, took
        figures.append(f'/healthz with {SLOW_CLIENTS} slow clients: {took * 1000:.1f} ms')

        # A body of 20 MB in chunks: refused while it is read, never held.
        before = rss_kb(gateway.pid)
        with socket.create_connection(('127.0.0.1', port), timeout=WAIT_S) as s:
            s.sendall(b'POST /api/send HTTP/1.1\r\nHost: 127.0.0.1\r\n'
                      b'Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n')
            chunk = b'%x\r\n%s\r\n' % (64 * 1024, b' ' * 64 * 1024)
            try:
                for _ in range(BIG_BODY // (64 * 1024)):
                    s.sendall(chunk)
                s.sendall(b'0\r\n\r\n')
            except (BrokenPipeError, ConnectionResetError):
                pass  # refused before the end
            answer = s.recv(4096).decode(errors='replace')
        growth = rss_kb(gateway.pid) - before
        assert answer.startswith('HTTP/1.1 413'), answer[:80]
        assert growth < RSS_GROWTH_BOUND_KB, growth
        figures.append(f'20 MB chunked body: 413, RSS grew {growth} kB')

        # A sanitized build keeps what is freed, and takes its time: its RSS says nothing here.
        count = LARGE_PUTS // 10 if sanitized(gateway.pid) else LARGE_PUTS
        before, peak, after = large_puts(port, gateway.pid, count)
        figures.append(f'{count} PUTs of up to {LARGE_BODY // 1024} KB with an event stream '
                       f'open: RSS {before // 1024} MB before, {peak // 1024} MB at most, '
                       f'{after // 1024} MB after')
        assert sanitized(gateway.pid) or after < RSS_AFTER_BOUND_KB, after

        # Another site's page posting text/plain (no preflight) to the gateway without a token.
        body = b'{"all": true, "message": {"lines": ["PWNED"]}}'
        status = http(port, 'POST /api/send HTTP/1.1\r\nHost: 127.0.0.1\r\n'
                      'Origin: http://attacker.example\r\nContent-Type: text/plain\r\n'
                      f'Content-Length: {len(body)}\r\n\r\n', body)
        assert status == 403, status
        figures.append('cross-site text/plain POST: 403')

        if broker_port:
            error = oversized_publish(broker_port)
            assert 'larger than 1 MiB' in error, error
            figures.append(f'2 MB MQTT publish: refused on the error topic: {error}')
        else:
            figures.append('oversized MQTT publish: skipped (no mosquitto)')

        start = time.monotonic()
        gateway.send_signal(signal.SIGTERM)
        code = gateway.wait(timeout=WAIT_S)
        took = time.monotonic() - start
        assert code == 0, code
        assert took < STOP_BOUND_S, took
        figures.append(f'SIGTERM with {SLOW_CLIENTS} slow clients: ended in '
                       f'{took * 1000:.0f} ms')
    finally:
        for s in slow:
            s.close()
        for program in programs:
            if program.poll() is None:
                program.kill()
                program.wait()
        subprocess.run(['rm', '-rf', folder], check=False)
        print('\n'.join(figures))


if __name__ == '__main__':
    main()
