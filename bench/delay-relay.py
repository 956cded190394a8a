#!/usr/bin/env python3
"""A TCP relay on loopback that delays every byte by a fixed time in each
direction, as a network between client and server would. For benchmarks only.

    delay-relay.py LISTEN_PORT TARGET_PORT DELAY_MS

It prints "ready" once it listens. Order within each direction is kept; a
side's end of stream reaches the other side after the same delay.
"""
import asyncio
import sys
import time


async def carry(reader, writer, delay):
    queue = asyncio.Queue()

    async def take():
        while True:
            data = await reader.read(65536)
            queue.put_nowait((time.monotonic() + delay, data))
            if not data:
                return

    async def give():
        while True:
            due, data = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    try:
        await asyncio.gather(take(), give())
    except (ConnectionError, OSError):
        pass
    finally:
        writer.close()


async def main():
    listen_port, target_port, delay_ms = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    delay = delay_ms / 1000.0

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(carry(client_reader, server_writer, delay),
                             carry(server_reader, client_writer, delay))

    server = await asyncio.start_server(serve, "127.0.0.1", listen_port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
