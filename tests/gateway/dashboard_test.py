#!/usr/bin/python3
"""The gateway's live page in a real headless Chromium, against virtual signs on loopback.

dashboard_test.py GATEWAY CLI [SCREENSHOT_DIR]: with a folder, also takes the page's pictures at
1920x1080 (the wall), 1280x800 and 390x844 there. Exits 77 (skipped) when Chromium, its driver or
Selenium are missing.
"""
import getpass
import json
import os
import queue
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

CHROMIUM = '/usr/bin/chromium'
MOSQUITTO = '/usr/sbin/mosquitto'
DRIVER = '/usr/bin/chromedriver'
TOKEN = 'page-t0ken'
WAIT_S = 20  # the test's bound on any one wait, never a measure of speed
# A plant's mix: 2 lines of 20, 2 of 40, 4 of 20, 2 of 20, 1 of 20 characters.
MODELS = [10, 11, 12, 10, 8]
KINDS = ['delivered', 'sending', 'retrying', 'values']

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    sys.exit(77)
if not (os.access(CHROMIUM, os.X_OK) and os.access(DRIVER, os.X_OK)):
    sys.exit(77)


class Program:
    """A program of the test, its output lines read as they come."""

    def __init__(self, args, stream):
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, args=(getattr(self.process, stream),),
                         daemon=True).start()

    def _read(self, pipe):
        for line in pipe:
            self.lines.put(line)

    def wait_for(self, text):
        while True:
            line = self.lines.get(timeout=WAIT_S)
            if text in line:
                return line

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=WAIT_S)


def free_port(host):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def request(url, method='GET', body=None, token=TOKEN):
    data = json.dumps(body).encode() if body is not None else None
    req = urllib.request.Request(url, data=data, method=method)
    req.add_header('Authorization', f'Bearer {token}')
    if data is not None:
        req.add_header('Content-Type', 'application/json')
    with urllib.request.urlopen(req, timeout=WAIT_S) as answer:
        return answer.read()


def mqtt_publish(port, topic, payload):
    """One retained publish in MQTT 3.1.1's own bytes, as another gateway's status would be."""
    def packet(kind, body):
        return bytes([kind, len(body)]) + body

    def text(value):
        return len(value).to_bytes(2, 'big') + value.encode()

    with socket.create_connection(('127.0.0.1', port), timeout=WAIT_S) as s:
        s.sendall(packet(0x10, text('MQTT') + bytes([4, 2, 0, 30]) + text('dashboard-test')))
        assert s.recv(4) == bytes([0x20, 2, 0, 0])
        s.sendall(packet(0x31, text(topic) + payload.encode()) + bytes([0xe0, 0]))


def kind_of(sign):
    """The summary's state of a sign from the API, as the page counts it."""
    if sign['waitingFor'] in ('retry', 'values', 'send'):
        return {'retry': 'retrying', 'values': 'values', 'send': 'sending'}[sign['waitingFor']]
    if sign['lastOutcome'] and not sign['lastOutcome']['delivered']:
        return 'retrying'
    if sign['showing'] == 'nothing':
        return 'idle'
    return 'delivered' if sign['deliveredAt'] else 'sending'


def main():
    gateway_path, cli_path = sys.argv[1], sys.argv[2]
    shots = sys.argv[3] if len(sys.argv) > 3 else None
    folder = tempfile.mkdtemp(prefix='lumivex-dashboard-')
    programs = []
    driver = None
    try:
        # Two signs that answer on their own, 21 more played by one program, and one whose
        # address nobody listens on: 24 signs of mixed models.
        signs = []
        for n, name in enumerate(['Line 3', 'Dock 2']):
            host = f'127.0.0.{n + 2}'
            port = free_port(host)
            sign = Program([cli_path, 'sign', '--tcp', f'{host}:{port}', '--model', '12'], 'stdout')
            programs.append(sign)
            signs.append((name, host, port, sign))
        dead_port = free_port('127.0.0.4')
        entries = [{'name': name, 'link': host, 'tcpPort': port, 'model': 12,
                    'tags': ['assembly'] if n == 0 else ['dock', 'outside']}
                   for n, (name, host, port, _) in enumerate(signs)]
        entries.append({'name': 'Paint shop', 'link': '127.0.0.4', 'tcpPort': dead_port,
                        'tags': ['assembly']})
        more = [(f'Line {n}', f'127.0.0.{n + 10}') for n in range(4, 25)]
        more = [(name, host, free_port(host)) for name, host in more]
        programs.append(Program([cli_path, 'sign'] + sum([['--tcp', f'{h}:{p}'] for _, h, p in more],
                                                         []), 'stdout'))
        entries += [{'name': name, 'link': host, 'tcpPort': port, 'model': MODELS[n % 5]}
                    for n, (name, host, port) in enumerate(more)]
        with open(os.path.join(folder, 'signs.json'), 'w') as f:
            json.dump({'signs': entries}, f)
        with open(os.path.join(folder, 'token'), 'w') as f:
            f.write(TOKEN + '\n')
        config = os.path.join(folder, 'gateway.json')
        broker = None
        if os.access(MOSQUITTO, os.X_OK):
            broker = free_port('127.0.0.1')
            with open(os.path.join(folder, 'mosquitto.conf'), 'w') as f:
                f.write(f'listener {broker} 127.0.0.1\nallow_anonymous true\n'
                        f'user {getpass.getuser()}\n')
            programs.append(Program([MOSQUITTO, '-c', f'{folder}/mosquitto.conf'], 'stderr'))

        def start_gateway(address, read_needs_token=False):
            settings = {'name': 'hall-b', 'http': address, 'tokenFile': 'token',
                        'stateDir': 'state', 'readNeedsToken': read_needs_token}
            if broker:
                settings['mqtt'] = {'url': f'tcp://127.0.0.1:{broker}', 'prefix': 'plant'}
            with open(config, 'w') as f:
                json.dump(settings, f)
            programs.append(Program([gateway_path, '--config', config], 'stderr'))
            line = programs[-1].wait_for('listening on http://')
            return programs[-1], line.strip().split('listening on ')[1]

        gateway, base = start_gateway('127.0.0.1:0')
        request(f'{base}/api/signs/Paint%20shop/message', 'PUT', {'lines': ['WET PAINT']})
        for n, (name, _, _) in enumerate(more):
            text = 'OUTPUT {count} OF 400' if n == 3 else f'{name.upper()} RUNNING'
            request(f'{base}/api/signs/{name.replace(" ", "%20")}/message', 'PUT',
                    {'lines': [[{'text': text, 'color': ['green', 'yellow'][n % 2]}]]})
        if broker:
            gateway.wait_for('broker connected')
            mqtt_publish(broker, 'plant/gateway/hall-a/status', 'offline')

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
                     '--no-first-run', '--disable-background-networking',
                     '--disable-component-update', '--disable-sync', '--window-size=1280,800',
                     f'--user-data-dir={folder}/browser',
                     # No name is looked up, so the browser's own services send nothing.
                     '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1']:
            options.add_argument(flag)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        wait = WebDriverWait(driver, WAIT_S)
        driver.get(base + '/')

        # Every sign has its card, faults first, then by name as people count ("Line 7" before
        # "Line 10"); without the token the page is read-only.
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, '.card')) == 24)
        wait.until(lambda d: 'retrying: ' in card(d, 'Paint shop').text)
        natural = ['Dock 2'] + [f'Line {n}' for n in range(3, 25)]
        assert names(driver) == ['Paint shop'] + natural, names(driver)
        driver.find_element(By.ID, 'file-order').click()
        assert names(driver) == [e['name'] for e in entries], names(driver)
        driver.find_element(By.ID, 'file-order').click()
        assert 'Read-only' in driver.find_element(By.ID, 'access-text').text
        assert not card(driver, 'Line 3').find_element(By.CSS_SELECTOR, '.set-text').is_displayed()
        # The summary counts the signs as the API gives them, the tab says how many fail, and a
        # count shows its signs alone.
        wait.until(lambda d: summary(d) == counts(base))
        assert driver.title.startswith('1 failing'), driver.title
        driver.find_element(By.CSS_SELECTOR, '#summary [data-kind="retrying"]').click()
        assert [c.text for c in driver.find_elements(By.CSS_SELECTOR, '.card h2')
                if c.is_displayed()] == ['Paint shop']
        driver.find_element(By.CSS_SELECTOR, '#summary [data-kind="retrying"]').click()
        # A 40-character sign's panel is twice as wide as a 20-character one's beside it.
        assert_same_dots(driver)

        # A message set through the API comes to its card without a reload, its panel drawn by the
        # preview.
        driver.execute_script('window.notReloaded = true')
        started = time.monotonic()
        request(f'{base}/api/signs/Line%203/message', 'PUT',
                {'lines': [[{'text': 'PRESS 4 STOPPED', 'color': 'yellow', 'blink': True}]]})
        wait.until(lambda d: 'PRESS 4 STOPPED' in panel(d, 'Line 3').get_attribute('alt')
                   and '/preview.png?frame=' in (panel(d, 'Line 3').get_attribute('src') or ''))
        print(f'message on its card after {time.monotonic() - started:.3f} s')
        assert driver.execute_script('return window.notReloaded')
        # The frame on the card and the preview's same frame, both drawn to pixels by the browser.
        same = driver.execute_async_script('''
            const img = document.querySelector('[data-sign="Line 3"] .panel-image');
            const done = arguments[0], shown = new Image();
            shown.src = img.src;
            const pixels = (picture) => {
                const canvas = new OffscreenCanvas(picture.width, picture.height);
                canvas.getContext('2d').drawImage(picture, 0, 0);
                const data = canvas.getContext('2d').getImageData(0, 0, picture.width,
                                                                  picture.height).data;
                return `${picture.width}x${picture.height}:${data.join()}`;
            };
            Promise.all([shown.decode().then(() => pixels(shown)),
                         fetch(`/api/signs/Line%203/preview.png?frame=${img.dataset.frame}`)
                             .then(r => r.blob()).then(createImageBitmap).then(pixels)])
                .then(([a, b]) => done([img.dataset.frame, a === b, a.length]));''')
        assert same[1] and same[2] > 1000, f'frame {same[0]} differs from the preview'
        # A wrong token is refused as it is entered, before any write; the right one is taken.
        def set_text(d):
            return card(d, 'Dock 2').find_element(By.CSS_SELECTOR, '.set-text')

        driver.find_element(By.ID, 'token-button').click()
        driver.find_element(By.ID, 'token-input').send_keys('not-the-token\n')
        wait.until(lambda d: '401' in d.find_element(By.ID, 'token-error').text)
        driver.find_element(By.CSS_SELECTOR, '#token-dialog .cancel').click()
        assert 'Read-only' in driver.find_element(By.ID, 'access-text').text
        assert not set_text(driver).is_displayed()
        driver.find_element(By.ID, 'token-button').click()
        driver.find_element(By.ID, 'token-input').send_keys(TOKEN + '\n')
        wait.until(lambda d: set_text(d).is_displayed())
        set_text(driver).click()
        driver.find_element(By.ID, 'message-text').send_keys('TRUCK DUE')
        driver.find_element(By.ID, 'message-color').send_keys('Green')
        driver.find_element(By.ID, 'message-blink').click()
        driver.find_element(By.ID, 'message-submit').click()
        arrived = json.loads(signs[1][3].wait_for('TRUCK DUE'))['message']['lines']
        assert arrived == [[{'text': 'TRUCK DUE', 'size': 1, 'color': 'green', 'blink': True}]], \
            arrived
        assert TOKEN not in driver.page_source

        # A sign that stops answering comes first, its panel showing what it last took, dimmed,
        # beside what waits.
        signs[0][3].stop()
        request(f'{base}/api/signs/Line%203/message', 'PUT', {'lines': ['LINE 3 HALTED']})
        wait.until(lambda d: names(d)[:2] == ['Line 3', 'Paint shop'])
        took = card(driver, 'Line 3').find_element(By.CSS_SELECTOR, '.delivered-image')
        wait.until(lambda d: took.is_displayed() and 'PRESS 4 STOPPED' in took.get_attribute('alt')
                   and d.execute_script('return arguments[0].naturalWidth', took) > 0)
        assert 'LINE 3 HALTED' in panel(driver, 'Line 3').get_attribute('alt')
        blocked = [e for e in driver.get_log('browser') if 'Content Security Policy' in e['message']]
        assert not blocked, blocked
        if shots:
            take_screenshots(driver, wait, shots, [(1280, 800), (390, 844)])

        # The wall: 24 signs fit a 1920x1080 screen without scrolling.
        driver.get(base + '/?wall')
        resize(driver, wait, 1920, 1080)
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, '.card')) == 24)
        assert_fits(driver)
        assert_same_dots(driver)
        if broker:
            wait.until(lambda d: 'hall-a offline since' in d.find_element(By.ID, 'gateways').text)
        if shots:
            take_screenshots(driver, wait, shots, [(1920, 1080)])

        # The gateway ends on SIGTERM while the wall holds its event stream open.
        started = time.monotonic()
        gateway.process.send_signal(signal.SIGTERM)
        assert gateway.process.wait(timeout=WAIT_S) == 0
        print(f'gateway ended {time.monotonic() - started:.3f} s after SIGTERM')
        wait.until(lambda d: 'reconnecting' in d.find_element(By.ID, 'connection').text)
        # The wall takes up by itself with the gateway that comes back in its place, one that
        # shows nothing without a token: the page's pass carries its stream and pictures.
        start_gateway(base.split('//')[1], read_needs_token=True)
        wait.until(lambda d: d.find_element(By.ID, 'connection').text == 'Live')
        assert 'TRUCK DUE' in panel(driver, 'Dock 2').get_attribute('alt')
        picture = driver.execute_async_script('''
            fetch('/api/signs/Dock%202/preview.png?frame=1').then(r => arguments[0](r.status));''')
        assert picture == 200, picture
        try:
            request(f'{base}/api/signs/Dock%202/preview.png?frame=1', token='')
            assert False, 'a picture was given without a token'
        except urllib.error.HTTPError as error:
            assert error.code == 401, error.code
        assert TOKEN not in driver.page_source
        # A reload keeps it the wall, every sign on the screen.
        driver.refresh()
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, '.card')) == 24)
        assert driver.execute_script("return document.body.classList.contains('wall')")
        assert_fits(driver)
    finally:
        if driver:
            driver.quit()
        for program in programs:
            program.stop()
        shutil.rmtree(folder, ignore_errors=True)


def names(driver):
    return [c.text for c in driver.find_elements(By.CSS_SELECTOR, '.card h2')]


def counts(base):
    signs = json.loads(request(f'{base}/api/signs'))
    found = {kind: 0 for kind in KINDS + ['alerts']}
    for sign in signs:
        found[kind_of(sign)] = found.get(kind_of(sign), 0) + 1
        found['alerts'] += 1 if sign.get('alert') else 0
    return {kind: found[kind] for kind in KINDS + ['alerts']}


def summary(driver):
    return {b.get_attribute('data-kind'): int(b.find_element(By.CSS_SELECTOR, '.count').text)
            for b in driver.find_elements(By.CSS_SELECTOR, '#summary button')
            if b.get_attribute('data-kind')}


def assert_fits(driver):
    fit = driver.execute_script('''
        const bottom = Math.max(...[...document.querySelectorAll('.card')].map(
            (c) => c.getBoundingClientRect().bottom));
        return [document.documentElement.scrollHeight, innerHeight, bottom,
                document.querySelectorAll('.card:not([hidden])').length];''')
    assert fit[0] <= fit[1] and fit[2] <= fit[1] and fit[3] == 24, fit


def assert_same_dots(driver):
    # Each panel's width and row: Line 5 has 40 characters, Line 4 and Line 6 have 20.
    rows = driver.execute_script('''
        return ['Line 4', 'Line 5', 'Line 6'].map((name) => {
            const box = document.querySelector(`[data-sign="${name}"] .panel-image`)
                .getBoundingClientRect();
            return [Math.round(box.top), box.width];
        });''')
    same_row = [r for r in rows if r[0] == rows[1][0] and r is not rows[1]]
    assert same_row and abs(rows[1][1] - 2 * same_row[0][1]) < 1, rows


def card(driver, name):
    return driver.find_element(By.CSS_SELECTOR, f'[data-sign="{name}"]')


def panel(driver, name):
    return card(driver, name).find_element(By.CSS_SELECTOR, '.panel-image')


def resize(driver, wait, width, height):
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': width, 'height': height, 'deviceScaleFactor': 1,
                            'mobile': width < 600})
    wait.until(lambda d: d.execute_script('return innerWidth') == width)


def take_screenshots(driver, wait, folder, sizes):
    os.makedirs(folder, exist_ok=True)
    for width, height in sizes:
        resize(driver, wait, width, height)
        # Dock 2 blinks: taken in the half where its text is lit.
        wait.until(lambda d: panel(d, 'Dock 2').get_attribute('data-frame') == '2')
        wall = 'wall-' if '?wall' in driver.current_url else ''
        driver.save_screenshot(os.path.join(folder, f'page-{wall}{width}x{height}.png'))


if __name__ == '__main__':
    main()
