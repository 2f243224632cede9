"""What the comparison scripts measure of a program: wall time, and the peak memory of its
whole process tree (the program, its children and theirs)."""
import os, resource, subprocess, time


def timed(command, env=None):
    """Wall seconds, and the CPU seconds (user and system) of the whole process tree: on a
    machine shared with other work the second moves less."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return elapsed, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def wall(command, env=None):
    return timed(command, env)[0]


def memory_kb(pid):
    """(VmRSS, VmHWM, RssShmem) of a running process, or None."""
    try:
        fields = dict(line.split(":", 1) for line in open(f"/proc/{pid}/status"))
        return tuple(int(fields[k].split()[0]) for k in ("VmRSS", "VmHWM", "RssShmem"))
    except (OSError, KeyError, ValueError):
        return None


def handover_files_kb(pid):
    """{inode: KB} of the importer's handover memory files the process holds open. Written but
    not mapped, they are memory that no process's resident size shows."""
    found = {}
    try:
        descriptors = os.listdir(f"/proc/{pid}/fd")
    except OSError:
        return found
    for fd in descriptors:
        try:
            if os.readlink(f"/proc/{pid}/fd/{fd}").startswith("/memfd:celshade-handover"):
                info = os.stat(f"/proc/{pid}/fd/{fd}")
                found[info.st_ino] = info.st_blocks // 2
        except OSError:
            pass
    return found


def descendants(pid):
    """The process's children and theirs, whichever of its threads started them."""
    found = []
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return found
    for task in tasks:
        try:
            children = [int(p) for p in open(f"/proc/{pid}/task/{task}/children").read().split()]
        except OSError:
            continue
        for child in children:
            found += [child] + descendants(child)
    return found


def peak_kb(command, env=None):
    """The largest sum of the resident memory of the process tree and of the importer's handover
    files it holds (each counted once, in place of its mapping), read every half millisecond
    until the program exits; and the sum of each process's own high-water mark (a bound the tree
    never reaches when its processes peak at different moments)."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    together, peaks = 0, {}
    while process.poll() is None:
        now, handovers = 0, {}
        for pid in [process.pid] + descendants(process.pid):
            kb = memory_kb(pid)
            held = handover_files_kb(pid)
            if kb is not None:
                now += kb[0] - (kb[2] if held else 0)
                peaks[pid] = max(peaks.get(pid, 0), kb[1])
            handovers.update(held)
        together = max(together, now + sum(handovers.values()))
        time.sleep(0.0005)
    if process.returncode != 0:
        raise SystemExit(f"failed ({process.returncode}): {' '.join(command)}")
    return together, sum(peaks.values())
