#!/usr/bin/env bash
# The attacks on files by hand that RELIABILITY.md's table "By hand" names (1) to (7): run
# as root from the repository root, each in a scratch folder. Not a test: each prints what
# to look at, and a person reads it.
set -u
R=$PWD Q=$PWD/build/cli/quarvel-cli; cd "$(mktemp -d)"
mkdir -p logs.orig/a logs.orig/b   # three documents of 1,000 stretches
for f in a/1 a/2 b/3; do python3 -c "open('logs.orig/$f.htm','w').write(''.join('<dt>%d<dd>art %d<br>line two\r\n' % (i, i) for i in range(1000)))"; done
# (1) kill -9 at a random moment; then each document is untouched or has 1,000 tags and a whole backup
rm -rf logs; cp -a logs.orig logs; $Q convert-folder logs --quiet & p=$!; sleep $((RANDOM % 8)).$((RANDOM % 10)); kill -9 $p; wait $p
for f in a/1 a/2 b/3; do cmp -s logs/$f.htm logs.orig/$f.htm && echo "$f untouched" || echo "$f $(grep -o '<img' logs/$f.htm | wc -l) tags"; done
$Q convert-folder logs --quiet; echo "exit $?"; find logs -name '*quarvel-*' -o -type f -empty
# (2) two runs at once on one tree
rm -rf logs; cp -a logs.orig logs; $Q convert-folder logs --quiet & p1=$!; $Q convert-folder logs --quiet & p2=$!; wait $p1; echo $?; wait $p2; echo $?
# (3) a full disk while pictures are written (the second document: during the backup copy)
mkdir small && mount -t tmpfs -o size=1m tmpfs small && mkdir small/logs
python3 -c "open('small/logs/doc.htm','w',encoding='cp932').write(''.join('<dt>%d<dd>%s<br>line two\r\n' % (i, '(´･ω･｀)' * 20) for i in range(400)))"
$Q convert-folder small/logs; echo "exit $?"; rm -rf small/logs/*
python3 -c "open('small/logs/doc.htm','w').write(''.join('<dt>%d<dd>art %d<br>line two\r\n' % (i, i) for i in range(24000)))"
$Q convert-folder small/logs; echo "exit $?"; umount small
# (4) a file-size limit during the backup copy of a 3.2 MB document, then a run without it
mkdir lim; python3 -c "open('lim/doc.htm','w').write(''.join('<dt>%d<dd>art %d<br>line two\r\n' % (i, i) for i in range(90000)))"
(ulimit -f 1024; $Q convert lim/doc.htm); echo "exit $?"; $Q convert --quiet lim/doc.htm; echo "exit $?"
# (5) planted links: a picture's name, an image folder and backup/ pointing elsewhere
rm -rf logs; cp -a logs.orig logs; mkdir elsewhere; echo precious > victim
mkdir logs/a/1 && ln -s "$PWD/victim" logs/a/1/001.png; ln -s "$PWD/elsewhere" logs/a/2; ln -s "$PWD/elsewhere" logs/b/backup
$Q convert-folder logs --quiet; echo "exit $?"; cat victim; ls -A elsewhere
# (6) random bytes through the whole tool
head -c 100000 /dev/urandom > noise.bin; $Q render noise.bin --html --encoding cp932 -o noise.png; echo "exit $?"; mkdir noisy
cp noise.bin noisy/a.htm && $Q convert-folder noisy; echo "exit $?"
# (7) render-pieces: 200 pieces, killed at random, then finished
for i in $(seq 0 199); do [ $i -gt 0 ] && printf '[SPLIT]\n'; cat $R/examples/medium.txt; done > c200.mlt
$Q render-pieces c200.mlt -o k --jobs 2 & p=$!; sleep 0.$((RANDOM % 9 + 1)); kill -9 $p; wait $p; $Q render-pieces c200.mlt -o k
$Q render-pieces c200.mlt -o two & $Q render-pieces c200.mlt -o two --margin 4 & wait
