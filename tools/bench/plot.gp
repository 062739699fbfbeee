# The benchmark's plot (run.sh calls it):
#   gnuplot -e "dir='build/bench'; out='docs/bench.png'" tools/bench/plot.gp
# Reads dir/summary.tsv (measure, then ours, NSIS with the same screens, lean
# NSIS: median min max; rows backdrop, page, done, uninstall, peak),
# dir/sizes.tsv (overhead and file size: ours, same screens, lean) and dir/scale-summary.tsv
# (kb packed files expanded, then ours page, NSIS page, ours done, NSIS done:
# median min max). Four panels: the times, the sizes, the peak memory, and the
# install time of the test builds against their packed bytes.
if (!exists("dir")) dir = 'build/bench'
if (!exists("out")) out = 'docs/bench.png'
summary = dir.'/summary.tsv'
sizes = dir.'/sizes.tsv'
scale = dir.'/scale-summary.tsv'

set terminal pngcairo size 1200,900 font 'DejaVu Sans,10'
set output out
set multiplot layout 2,2 title 'Zelto 2000 Setup (ours) against two NSIS installers of the same product, under Wine' font ',12'
ours = '#1f6fb4'
screens = '#8c564b'
nsis = '#d9822b'
set grid ytics lc rgb '#dddddd'
set key top left
set border 3
set xtics nomirror
set ytics nomirror

# Times: median with min-max bars.
set title 'Times (ms): median, min-max'
set style data histograms
set style histogram errorbars gap 2 lw 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set yrange [0:*]
set xtics ("start to\npainted backdrop" 0, "start to\nfirst page" 1, "Finish to\nsuccess message" 2, \
           "uninstaller\nstart to end" 3)
plot summary every ::0::3 using 2:3:4 title 'ours' lc rgb ours, \
     '' every ::0::3 using 5:6:7 title 'NSIS, same screens' lc rgb screens, \
     '' every ::0::3 using 8:9:10 title 'NSIS, lean (no backdrop)' lc rgb nsis

# Sizes, with the goal for our overhead: half the NSIS stub.
stats sizes every ::0::0 using 4 nooutput
stub = STATS_max
set title 'Size (KB); dashed: half the NSIS stub, the goal for our overhead'
set style histogram clustered gap 2
set xtics ('code overhead' 0, 'whole file' 1)
set arrow 1 from graph 0, first stub / 2048.0 to graph 1, first stub / 2048.0 nohead dt 2 lw 2 lc rgb '#444444'
plot sizes using ($2 / 1024) title 'ours' lc rgb ours, \
     '' using ($3 / 1024) title 'NSIS, same screens' lc rgb screens, \
     '' using ($4 / 1024) title 'NSIS, lean' lc rgb nsis
unset arrow 1

# Peak memory.
set title 'Installer peak memory (MB, VmHWM): median, min-max'
set style histogram errorbars gap 2 lw 1
set xtics ('installer process' 0)
plot summary every ::4::4 using ($2 / 1024):($3 / 1024):($4 / 1024) title 'ours' lc rgb ours, \
     '' every ::4::4 using ($5 / 1024):($6 / 1024):($7 / 1024) title 'NSIS, same screens' lc rgb screens, \
     '' every ::4::4 using ($8 / 1024):($9 / 1024):($10 / 1024) title 'NSIS, lean' lc rgb nsis

# Scaling: the test builds.
set title 'Test builds: time (ms) against packed payload (MB); median, min-max'
set style data linespoints
set xtics auto
set xrange [0:*]
set xlabel 'packed files (MB)'
set key bottom right
mb(b) = b / 1048576.0
plot scale using (mb($2)):11:12:13 with yerrorlines lw 2 pt 7 lc rgb ours title 'ours: Finish to success message', \
     '' using (mb($2)):14:15:16 with yerrorlines lw 2 pt 7 lc rgb nsis title 'lean NSIS: Install to success message', \
     '' using (mb($2)):5:6:7 with yerrorlines lw 1 dt 2 pt 6 lc rgb ours title 'ours: start to first page', \
     '' using (mb($2)):8:9:10 with yerrorlines lw 1 dt 2 pt 6 lc rgb nsis title 'lean NSIS: start to first page'
unset multiplot
