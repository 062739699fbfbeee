#!/usr/bin/perl
# pesize.pl: where the bytes of a PE32 file go, for the benchmark (run.sh).
#
#   pesize.pl resources FILE   one line per resource type: TYPE COUNT BYTES
#                              (the data sizes from the resource section's
#                              leaves; types by name, or by number: 3 icon,
#                              5 dialog, 6 string, 14 icon group, 24 manifest)
#   pesize.pl resource FILE TYPE  the data of the first resource of TYPE (a
#                              number), as it stands in the file, to stdout
#   pesize.pl sections FILE    one line per section: NAME FILEBYTES VIRTUALBYTES
#   pesize.pl overhead FILE BUDGET  where the code overhead (the file without
#                              its RES_FILE and RES_GIF data) goes above BUDGET
#                              bytes: one line per part, BYTES TEXT, the
#                              parts adding up to the overhead minus BUDGET
#   pesize.pl map MAPFILE      from a GNU ld map file, the bytes of each output
#                              section by origin: SECTION ORIGIN BYTES, ORIGIN
#                              "ours" (the zeltocore library and main.cpp, or
#                              what the link-time optimiser made of them),
#                              "imports" (import thunks and tables of the
#                              system libraries) or "runtime" (the rest: the
#                              MinGW start-up code, TLS support, libgcc)
#   pesize.pl nsis FILE        the offset of an NSIS installer's first header
#                              (its data starts there: the bytes before it are
#                              the stub), or "none"
use strict;
use warnings;

my ($mode, $path, $wanted) = @ARGV;
die "usage: pesize.pl resources|sections|map|nsis FILE\n" unless $mode && $path;
open(my $fh, '<:raw', $path) or die "pesize.pl: cannot open $path: $!\n";
if ($mode eq 'map') {
  my ($output, $pending, %bytes);
  my $add = sub {
    my ($size, $object) = @_;
    return unless defined $output && hex($size);
    $object =~ s#.*/##;
    my $origin = $object =~ /zeltocore|main\.cpp|\.ltrans\d*\.ltrans\.o$/ ? 'ours'
               : $object =~ /^lib\w+\.a\(lib\w*?(?:s\d+|_defs\d+|h|t)\.o\)$/ ? 'imports'
               : 'runtime';
    $bytes{"$output $origin"} += hex($size);
  };
  while (my $line = <$fh>) {
    chomp $line;
    # An output section starts in the first column; the input sections under
    # it are indented, their address, size and object on the same line or, for
    # a long name, on the next.
    if ($line =~ /^(\.\S+)\s+0x/) { $output = $1; $pending = 0; next; }
    if ($line =~ /^\S/) { $output = undef; next; }
    if ($line =~ /^ \.\S+\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$/) { $add->($1, $2); $pending = 0; next; }
    if ($line =~ /^ \.\S+\s*$/) { $pending = 1; next; }
    if ($pending && $line =~ /^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$/) { $add->($1, $2); }
    $pending = 0;
  }
  print "$_ $bytes{$_}\n" for sort keys %bytes;
  exit 0;
}
my $data = do { local $/; <$fh> };
close $fh;

sub u16 { unpack('v', substr($data, $_[0], 2)) }
sub u32 { unpack('V', substr($data, $_[0], 4)) }

if ($mode eq 'nsis') {
  # The first header sits on a 512-byte boundary: flags, 0xDEADBEEF, "NullsoftInst".
  for (my $at = 0; $at + 16 <= length $data; $at += 512) {
    if (u32($at + 4) == 0xDEADBEEF && substr($data, $at + 8, 12) eq 'NullsoftInst') {
      print "$at\n";
      exit 0;
    }
  }
  print "none\n";
  exit 0;
}

die "pesize.pl: $path is not a PE file\n" unless substr($data, 0, 2) eq 'MZ';
my $pe = u32(0x3C);
die "pesize.pl: $path is not a PE file\n" unless substr($data, $pe, 4) eq "PE\0\0";
my $sectionCount = u16($pe + 6);
my $optional = $pe + 24;
my $optionalSize = u16($pe + 20);
die "pesize.pl: $path is not PE32\n" unless u16($optional) == 0x10B;
my @sections;
for my $i (0 .. $sectionCount - 1) {
  my $at = $optional + $optionalSize + 40 * $i;
  my $name = substr($data, $at, 8);
  $name =~ s/\0+$//;
  push @sections, { name => $name, vsize => u32($at + 8), rva => u32($at + 12),
                    rawsize => u32($at + 16), raw => u32($at + 20) };
}

if ($mode eq 'sections') {
  printf "%s %d %d\n", $_->{name}, $_->{rawsize}, $_->{vsize} for @sections;
  exit 0;
}
die "usage: pesize.pl resources|resource|sections|overhead|map|nsis FILE\n"
  unless $mode eq 'resources' || $mode eq 'resource' || $mode eq 'overhead';

sub fileOffset {
  my ($rva) = @_;
  for my $s (@sections) {
    return $s->{raw} + $rva - $s->{rva} if $rva >= $s->{rva} && $rva < $s->{rva} + $s->{rawsize};
  }
  die sprintf("pesize.pl: address 0x%x is in no section\n", $rva);
}

my $resourceRva = u32($optional + 96 + 2 * 8);
exit 0 unless $resourceRva;
my $root = fileOffset($resourceRva);

sub entryName {
  my ($value) = @_;
  return $value unless $value & 0x80000000;
  my $at = $root + ($value & 0x7FFFFFFF);
  my $length = u16($at);
  my $name = substr($data, $at + 2, 2 * $length);
  $name =~ s/(.)\0/$1/gs;  # the names are UTF-16; ours are ASCII
  return $name;
}

# Calls back with the size and address of every data leaf below the directory at OFFSET.
sub leaves {
  my ($offset, $callback) = @_;
  my $count = u16($root + $offset + 12) + u16($root + $offset + 14);
  for my $i (0 .. $count - 1) {
    my $entry = $root + $offset + 16 + 8 * $i;
    my $target = u32($entry + 4);
    if ($target & 0x80000000) {
      leaves($target & 0x7FFFFFFF, $callback);
    } else {
      $callback->(u32($root + $target + 4), u32($root + $target));
    }
  }
}

# The bytes of the directory below OFFSET: its tables, data entries and names.
sub directoryBytes {
  my ($offset) = @_;
  my $count = u16($root + $offset + 12) + u16($root + $offset + 14);
  my $bytes = 16 + 8 * $count;
  for my $i (0 .. $count - 1) {
    my $entry = $root + $offset + 16 + 8 * $i;
    my $name = u32($entry);
    $bytes += 2 + 2 * u16($root + ($name & 0x7FFFFFFF)) if $name & 0x80000000;
    my $target = u32($entry + 4);
    $bytes += $target & 0x80000000 ? directoryBytes($target & 0x7FFFFFFF) : 16;
  }
  return $bytes;
}

my $types = u16($root + 12) + u16($root + 14);
if ($mode eq 'overhead') {
  # A type's share: its data, its entry in the root with its name, and the
  # directory below it.
  my %type;
  for my $i (0 .. $types - 1) {
    my $entry = $root + 16 + 8 * $i;
    my $name = u32($entry);
    my $bytes = 8 + ($name & 0x80000000 ? 2 + 2 * u16($root + ($name & 0x7FFFFFFF)) : 0) +
                directoryBytes(u32($entry + 4) & 0x7FFFFFFF);
    leaves(u32($entry + 4) & 0x7FFFFFFF, sub { $bytes += $_[0] });
    $type{entryName($name)} = $bytes;
  }
  my ($payload, $padding) = (0, 0);
  leaves(u32($root + 16 + 8 * $_ + 4) & 0x7FFFFFFF, sub { $payload += $_[0] })
    for grep { entryName(u32($root + 16 + 8 * $_)) =~ /^RES_(FILE|GIF)$/ } 0 .. $types - 1;
  my $headers = (sort { $a <=> $b } map { $_->{raw} } grep { $_->{rawsize} } @sections)[0];
  for my $s (grep { $_->{rawsize} } @sections) { $padding += $s->{rawsize} - $s->{vsize}; }
  my ($reloc) = map { $_->{vsize} } grep { $_->{name} eq '.reloc' } @sections;
  my $above = length($data) - $payload - $wanted;
  my @parts = ([$headers - 512, 'PE headers beyond one 512-byte block (a header for each of the ' .
                scalar(@sections) . ' sections)'],
               [$reloc // 0, 'base relocations (.reloc)'],
               [$type{24} // 0, 'manifest with its directory entries'],
               [$type{16} // 0, 'version record with its directory entries'],
               [$padding, 'padding of the sections to the 512-byte file alignment']);
  my $rest = $above;
  $rest -= $_->[0] for @parts;
  print "$_->[0] $_->[1]\n" for @parts;
  print "$rest the rest: code, constants, data, the other resources and their directory",
        " beyond the budget\n";
  print "$above total above $wanted\n";
  exit 0;
}
for my $i (0 .. $types - 1) {
  my $entry = $root + 16 + 8 * $i;
  my $type = entryName(u32($entry));
  if ($mode eq 'resource') {
    next unless defined $wanted && $type eq $wanted;
    my $found;
    leaves(u32($entry + 4) & 0x7FFFFFFF, sub { $found //= [@_] });
    binmode STDOUT;
    print substr($data, fileOffset($found->[1]), $found->[0]) if $found;
    exit($found ? 0 : 1);
  }
  my ($count, $bytes) = (0, 0);
  leaves(u32($entry + 4) & 0x7FFFFFFF, sub { $count++; $bytes += $_[0] });
  print "$type $count $bytes\n";
}
exit($mode eq 'resource' ? 1 : 0);
