#!/usr/bin/python3
"""The gateway's live page in a real headless Chromium, against virtual signs on loopback.

dashboard_test.py GATEWAY CLI [SCREENSHOT_DIR]: with a folder, also takes the page's pictures at
1280x800 and 390x844 there. Exits 77 (skipped) when Chromium, its driver or Selenium are missing.
"""
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
DRIVER = '/usr/bin/chromedriver'
TOKEN = 'page-t0ken'
WAIT_S = 20  # the test's bound on any one wait, never a measure of speed

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


def main():
    gateway_path, cli_path = sys.argv[1], sys.argv[2]
    shots = sys.argv[3] if len(sys.argv) > 3 else None
    folder = tempfile.mkdtemp(prefix='lumivex-dashboard-')
    programs = []
    driver = None
    try:
        # Two signs that answer, one whose address nobody listens on.
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
        with open(os.path.join(folder, 'signs.json'), 'w') as f:
            json.dump({'signs': entries}, f)
        with open(os.path.join(folder, 'token'), 'w') as f:
            f.write(TOKEN + '\n')
        config = os.path.join(folder, 'gateway.json')

        def start_gateway(address, read_needs_token=False):
            with open(config, 'w') as f:
                json.dump({'name': 'hall-b', 'http': address, 'tokenFile': 'token',
                           'stateDir': 'state', 'readNeedsToken': read_needs_token}, f)
            programs.append(Program([gateway_path, '--config', config], 'stderr'))
            line = programs[-1].wait_for('listening on http://')
            return programs[-1], line.strip().split('listening on ')[1]

        gateway, base = start_gateway('127.0.0.1:0')
        request(f'{base}/api/signs/Paint%20shop/message', 'PUT', {'lines': ['WET PAINT']})

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

        # Every sign has its card; without the token the page is read-only.
        cards = wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, '.card')) == 3
                           and d.find_elements(By.CSS_SELECTOR, '.card'))
        assert [c.find_element(By.CSS_SELECTOR, 'h2').text for c in cards] == \
            ['Line 3', 'Dock 2', 'Paint shop'], [c.text for c in cards]
        wait.until(lambda d: 'retrying: ' in card(d, 'Paint shop').text)
        assert 'Read-only' in driver.find_element(By.ID, 'access-text').text
        assert not card(driver, 'Line 3').find_element(By.CSS_SELECTOR, '.set-text').is_displayed()

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
        # A refused token is let go at once: the page stays read-only.
        def set_text(d):
            return card(d, 'Dock 2').find_element(By.CSS_SELECTOR, '.set-text')

        for attempt in ['not-the-token', TOKEN]:
            driver.find_element(By.ID, 'token-button').click()
            driver.find_element(By.ID, 'token-input').send_keys(attempt + '\n')
            if attempt != TOKEN:
                wait.until(lambda d: '401' in d.find_element(By.ID, 'notice').text)
                assert 'Read-only' in driver.find_element(By.ID, 'access-text').text
                assert not set_text(driver).is_displayed()
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
        blocked = [e for e in driver.get_log('browser') if 'Content Security Policy' in e['message']]
        assert not blocked, blocked

        if shots:
            request(f'{base}/api/signs/Line%203/message', 'PUT',
                    {'lines': [[{'text': 'OUTPUT {count} OF 400', 'color': 'green'}]]})
            wait.until(lambda d: 'waiting for a value' in card(d, 'Line 3').text
                       and 'delivered at' in card(d, 'Dock 2').text)
            take_screenshots(driver, wait, shots)

        # The gateway ends on SIGTERM while the page holds its event stream open.
        started = time.monotonic()
        gateway.process.send_signal(signal.SIGTERM)
        assert gateway.process.wait(timeout=WAIT_S) == 0
        print(f'gateway ended {time.monotonic() - started:.3f} s after SIGTERM')
        wait.until(lambda d: 'reconnecting' in d.find_element(By.ID, 'connection').text)
        # The page takes up by itself with the gateway that comes back in its place, one that
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
    finally:
        if driver:
            driver.quit()
        for program in programs:
            program.stop()
        shutil.rmtree(folder, ignore_errors=True)


def card(driver, name):
    return driver.find_element(By.CSS_SELECTOR, f'[data-sign="{name}"]')


def panel(driver, name):
    return card(driver, name).find_element(By.CSS_SELECTOR, '.panel-image')


def take_screenshots(driver, wait, folder):
    os.makedirs(folder, exist_ok=True)
    for width, height in [(1280, 800), (390, 844)]:
        driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                               {'width': width, 'height': height, 'deviceScaleFactor': 1,
                                'mobile': width < 600})
        # Dock 2 blinks: taken in the half where its text is lit.
        wait.until(lambda d: d.execute_script('return innerWidth') == width
                   and panel(d, 'Dock 2').get_attribute('data-frame') == '2')
        driver.save_screenshot(os.path.join(folder, f'page-{width}x{height}.png'))


if __name__ == '__main__':
    main()
