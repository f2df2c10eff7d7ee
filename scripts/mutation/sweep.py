#!/usr/bin/env python3
"""One-line faults placed in a copy of the code, one at a time, each run
against the suite: a fault no test fails on is a gap in the proof.

  sweep.py check [TREE] [--list LIST]    every mutant's text is found once
  sweep.py run TREE OUT [--list LIST] [--only ID,...] [--resume]

TREE is a checkout of its own (never the one being worked in), configured
with the native preset; for a mutant with "wine" cases its windows preset is
built too. OUT gets one line per mutant: id, outcome (caught, timeout,
survived, n/a: its text is not in the tree, stillborn: it does not build),
seconds. LIST is mutants.jsonl beside this script unless given: one JSON
object a line with id, file, find, replace, why and optionally wine (the Wine
cases that run the code, for files the native build does not compile).
"""
import argparse, json, os, signal, subprocess, sys, time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD_SECONDS, SUITE_SECONDS = 600, 300
# What a suite's run says of the mutant it ran against.
VERDICT = {'pass': 'survived', 'fail': 'caught', 'timeout': 'timeout'}


def load(path):
    with open(path, encoding='utf-8') as f:
        return [json.loads(line) for line in f if line.strip()]


def found_once(tree, m):
    path = os.path.join(tree, m['file'])
    if not os.path.isfile(path):
        return None
    text = open(path, encoding='utf-8').read()
    return text if text.count(m['find']) == 1 else None


def check(mutants, tree):
    bad, seen = 0, set()
    for m in mutants:
        problem = None
        if m['id'] in seen:
            problem = 'id used twice'
        elif m['find'] == m['replace']:
            problem = 'changes nothing'
        elif found_once(tree, m) is None:
            problem = 'text not found exactly once'
        seen.add(m['id'])
        if problem:
            bad += 1
            print('%s %s: %s' % (m['id'], m['file'], problem))
    print('%d mutants, %d with problems' % (len(mutants), bad))
    return bad == 0


def passes(cmd, cwd, seconds):
    try:
        done = subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=seconds)
        return 'pass' if done.returncode == 0 else 'fail'
    except subprocess.TimeoutExpired:
        return 'timeout'


def outcome(tree, m):
    native = os.path.join(tree, 'build', 'native')
    if passes(['cmake', '--build', native], tree, BUILD_SECONDS) != 'pass':
        return 'stillborn'
    suite = passes(['ctest', '--test-dir', native, '-j2', '--stop-on-failure',
                    '--timeout', '120'], tree, SUITE_SECONDS)
    if suite != 'pass' or not m.get('wine'):
        return VERDICT[suite]
    windows = os.path.join(tree, 'build', 'windows')
    for target in (['all'], ['msi']):
        if passes(['cmake', '--build', windows, '--target'] + target, tree,
                  BUILD_SECONDS) != 'pass':
            return 'stillborn'
    wine = passes(['bash', 'tests/e2e/run_wine_tests.sh', windows] + m['wine'],
                  tree, 60 * 30)
    return VERDICT[wine]


def run(mutants, tree, out, only, resume):
    done = set()
    if resume and os.path.exists(out):
        done = {line.split('\t')[0] for line in open(out)}
    with open(out, 'a' if resume else 'w') as results:
        for m in mutants:
            if (only and m['id'] not in only) or m['id'] in done:
                continue
            started = time.time()
            path = os.path.join(tree, m['file'])
            text = found_once(tree, m)
            if text is None:
                result = 'n/a'
            else:
                with open(path, 'w', encoding='utf-8') as f:
                    f.write(text.replace(m['find'], m['replace']))
                try:
                    result = outcome(tree, m)
                finally:
                    with open(path, 'w', encoding='utf-8') as f:
                        f.write(text)
            line = '%s\t%s\t%d' % (m['id'], result, time.time() - started)
            print(line, flush=True)
            results.write(line + '\n')
            results.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('verb', choices=['check', 'run'])
    parser.add_argument('places', nargs='*', help='TREE OUT for run')
    parser.add_argument('--list', default=os.path.join(HERE, 'mutants.jsonl'))
    parser.add_argument('--only', default='')
    parser.add_argument('--resume', action='store_true')
    a = parser.parse_args()
    # A sweep stopped by a signal still puts the mutated file back.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    mutants = load(a.list)
    if a.verb == 'check':
        tree = a.places[0] if a.places else os.path.dirname(os.path.dirname(HERE))
        return 0 if check(mutants, tree) else 1
    if len(a.places) != 2:
        parser.error('run needs TREE and OUT')
    only = set(filter(None, a.only.split(',')))
    run(mutants, os.path.abspath(a.places[0]), a.places[1], only, a.resume)
    return 0


if __name__ == '__main__':
    sys.exit(main())
