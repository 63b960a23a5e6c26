"""What every part of the scenarios reports with: a check that passes is logged, one that
fails ends the scenario with its message."""

import time


class Failure(Exception):
    pass


def log(message):
    print(message, flush=True)


def check(condition, message):
    """Records a passed check, or fails the scenario with the message."""
    if not condition:
        raise Failure(message)
    log(f"ok: {message}")


def wait_for(what, probe, timeout, interval=0.1):
    """Polls probe until it returns something true, for at most timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)
