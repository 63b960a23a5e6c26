"""Starts Chromium or Firefox ESR, ready for puppeteer-core, for the tests of the web page.

    with running_browser('firefox', work_dir) as settings:
        Path(work_dir, 'settings.json').write_text(json.dumps(settings))
        ...  # node drive.mjs settings.json ...

The settings are puppeteer.launch()'s options as plain JSON (json.dumps writes them as
they are). Chromium runs headless and needs nothing else. Firefox draws WebGL 2 only on a
display and runs an AudioContext only with a sound server, so it gets a private Xvfb
display and a private PulseAudio daemon that plays into a null sink; both belong to this
process and end with the context. Everything the browsers write stays under work_dir.
"""
import contextlib
import os
import select
import shutil
import socket
import subprocess
import tempfile
import time
from pathlib import Path

STARTUP_SECONDS = 10
SCREEN = (1920, 1080)
DISPLAYS = range(90, 121)

# Firefox preferences beyond puppeteer's own that keep it from reaching for the network.
QUIET_FIREFOX = {
    'app.normandy.enabled': False,
    'app.update.auto': False,
    'browser.region.network.url': '',
    'browser.region.update.enabled': False,
    'browser.safebrowsing.provider.mozilla.updateURL': '',
    'extensions.blocklist.enabled': False,
    'network.captive-portal-service.enabled': False,
    'network.connectivity-service.enabled': False,
    'network.dns.disablePrefetch': True,
    'network.prefetch-next': False,
    'toolkit.telemetry.enabled': False,
    'toolkit.telemetry.server': '',
}


def _program(name):
    path = shutil.which(name)
    if path is None:
        raise RuntimeError(f'{name} is not installed; the project installer provides it')
    return path


def _stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def _log_tail(path):
    text = Path(path).read_text(errors='replace').strip()
    return text[-1500:] or '(no output)'


def _start_xvfb(stack, work_dir):
    """A fresh display on the first free number of DISPLAYS, once it takes connections."""
    xvfb = _program('Xvfb')
    log_path = work_dir / 'xvfb.log'
    for number in DISPLAYS:
        if os.path.exists(f'/tmp/.X{number}-lock') or os.path.exists(f'/tmp/.X11-unix/X{number}'):
            continue
        # Xvfb writes the display number to the -displayfd pipe once it is ready.
        ready_read, ready_write = os.pipe()
        with open(log_path, 'ab') as log:
            process = subprocess.Popen(
                [xvfb, f':{number}', '-displayfd', str(ready_write), '-nolisten', 'tcp',
                 '-screen', '0', f'{SCREEN[0]}x{SCREEN[1]}x24'],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(ready_write,))
        os.close(ready_write)
        with os.fdopen(ready_read, 'rb') as ready:
            readable, _, _ = select.select([ready], [], [], STARTUP_SECONDS)
            answer = ready.readline() if readable else b''
        if answer.strip() == str(number).encode():
            stack.callback(_stop, process)
            return f':{number}'
        timed_out = not readable
        _stop(process)
        if timed_out:
            raise RuntimeError(f'Xvfb :{number} did not come up within {STARTUP_SECONDS} s:\n'
                               + _log_tail(log_path))
        # Otherwise another server took the number between the check and the start.
    tried = _log_tail(log_path) if log_path.exists() else 'every one is taken'
    raise RuntimeError(f'no X display among :{DISPLAYS[0]}..:{DISPLAYS[-1]} came up:\n{tried}')


def _start_pulseaudio(stack, work_dir, env):
    """A PulseAudio daemon with only a null sink, reachable at the returned socket path.

    It is started here rather than autospawned, so that nothing else on the machine
    finds it, and it reads no configuration; as root it warns but runs as this user's."""
    pulseaudio = _program('pulseaudio')
    server = Path(env['XDG_RUNTIME_DIR'], 'native')
    if len(str(server)) >= 100:
        raise RuntimeError(f'{work_dir} is too long a path for a PulseAudio socket')
    log_path = work_dir / 'pulseaudio.log'
    with open(log_path, 'wb') as log:
        process = subprocess.Popen(
            [pulseaudio, '-n', '--daemonize=no', '--system=false', '--exit-idle-time=-1',
             '--use-pid-file=false', '--log-target=stderr',
             '-L', 'module-null-sink sink_name=null',
             '-L', f'module-native-protocol-unix auth-anonymous=1 socket={server}'],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env, cwd=work_dir)
    stack.callback(_stop, process)
    deadline = time.monotonic() + STARTUP_SECONDS
    while process.poll() is None and time.monotonic() < deadline:
        with socket.socket(socket.AF_UNIX) as probe:
            if probe.connect_ex(str(server)) == 0:
                return server
        time.sleep(0.05)
    what = 'stopped' if process.poll() is not None else f'did not come up within {STARTUP_SECONDS} s'
    raise RuntimeError(f'pulseaudio {what}:\n' + _log_tail(log_path))


@contextlib.contextmanager
def running_browser(name, work_dir):
    """Yields puppeteer.launch() settings for 'chromium' or 'firefox'.

    Each call works in a fresh directory of its own under work_dir, made if missing."""
    if name not in ('chromium', 'firefox'):
        raise ValueError(f"unknown browser {name!r}: expected 'chromium' or 'firefox'")
    Path(work_dir).mkdir(parents=True, exist_ok=True)
    work_dir = Path(tempfile.mkdtemp(prefix=f'{name}-', dir=Path(work_dir).resolve()))
    (work_dir / 'home').mkdir()
    (work_dir / 'runtime').mkdir(mode=0o700)
    # Sound clients that find no server must not start one of their own.
    client_conf = work_dir / 'pulse-client.conf'
    client_conf.write_text('autospawn = no\n')
    quiet = {'HOME': str(work_dir / 'home'), 'XDG_RUNTIME_DIR': str(work_dir / 'runtime'),
             'PULSE_CLIENTCONFIG': str(client_conf),
             # A session bus that is not there keeps programs from launching one of their own.
             'DBUS_SESSION_BUS_ADDRESS': f'unix:path={work_dir / "no-session-bus"}'}
    env = {key: value for key, value in os.environ.items()
           if key not in ('DISPLAY', 'WAYLAND_DISPLAY', 'PULSE_SERVER')}
    env.update(quiet)
    with contextlib.ExitStack() as stack:
        if name == 'chromium':
            # Headless Chromium has no screen of its own: --screen-info gives it one.
            args = ['--enable-unsafe-swiftshader', f'--window-size={SCREEN[0]},{SCREEN[1]}',
                    f'--screen-info={{{SCREEN[0]}x{SCREEN[1]}}}',
                    '--disable-background-networking', '--disable-component-update',
                    '--disable-sync', '--no-first-run', f'--user-data-dir={work_dir / "profile"}']
            if os.geteuid() == 0:
                args.insert(0, '--no-sandbox')
            settings = {'browser': 'chrome', 'executablePath': _program('chromium'),
                        'headless': True, 'args': args}
        else:
            executable = _program('firefox-esr')
            display = _start_xvfb(stack, work_dir)
            server = _start_pulseaudio(stack, work_dir, {'PATH': os.environ.get('PATH', ''), **quiet})
            env.update(DISPLAY=display, PULSE_SERVER=f'unix:{server}')
            settings = {'browser': 'firefox', 'executablePath': executable, 'headless': False,
                        'args': ['--profile', str(work_dir / 'profile')],
                        'extraPrefsFirefox': QUIET_FIREFOX}
        # The page gets the whole screen, as a person's browser would give it.
        settings.update(defaultViewport=None, env=env)
        yield settings

