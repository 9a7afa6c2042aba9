#!/usr/bin/python3
"""A line-controlling client on pyserial's rfc2217:// URL, one step after the other.

LineClient.py PORT open      -- opens at 19200 8E1, sends every byte value, expects them back
                                from the device, then changes to 38400 baud.
LineClient.py PORT login PASSWORD GOFILE
                             -- opens at 9600 8N1 on a port with a password, tries 19200 before
                                the login, waits for GOFILE, logs in and changes to 19200.
Each step prints one line; the exit status is 0 when every step went as expected.
"""
import os
import sys
import time

import serial

URL = "rfc2217://127.0.0.1:{}"


def step(text):
    print(text, flush=True)


def read_exactly(port, count):
    data = b""
    deadline = time.monotonic() + 10
    while len(data) < count and time.monotonic() < deadline:
        data += port.read(count - len(data))
    return data


def run_open(tcp_port):
    port = serial.serial_for_url(URL.format(tcp_port), baudrate=19200, bytesize=8, parity="E",
                                 stopbits=1, timeout=1)
    step("opened")
    every = bytes(range(256))
    port.write(every)
    got = read_exactly(port, 256)
    if got != every:
        step("bytes from the device differ: {!r}".format(got))
        return 1
    step("bytes crossed")
    port.baudrate = 38400
    step("changed")
    port.close()
    return 0


def run_login(tcp_port, password, go_file):
    # The prompt came before the open's purge of the input: it is not seen here.
    port = serial.serial_for_url(URL.format(tcp_port), baudrate=9600, timeout=1)
    try:
        port.baudrate = 19200
        step("taken before the login")
        return 1
    except (ValueError, serial.SerialException):
        step("refused")
    deadline = time.monotonic() + 10
    while not os.path.exists(go_file) and time.monotonic() < deadline:
        time.sleep(0.05)
    port.write(password.encode() + b"\r")
    if b"Connected...." not in port.read_until(b"Connected....\r\n"):
        step("not admitted")
        return 1
    port.baudrate = 19200
    step("changed")
    port.close()
    return 0


def main():
    tcp_port = int(sys.argv[1])
    if sys.argv[2] == "open":
        return run_open(tcp_port)
    return run_login(tcp_port, sys.argv[3], sys.argv[4])


if __name__ == "__main__":
    sys.exit(main())
