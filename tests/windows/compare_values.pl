#!/usr/bin/perl
# Compares the host tests' values of a Windows build with those of the Linux
# build: the same cases in the same order, each value within a relative
# TOLERANCE of the Linux one, absolute for values below 1 (the C libraries'
# log and pow may differ in the last bit, and x87 rounds otherwise). NaN matches NaN and an infinity the same infinity.
#
#   compare_values.pl WINDOWS_VALUES LINUX_VALUES [TOLERANCE]
#
# Exits with 77 (skipped) when WINDOWS_VALUES does not exist.
use strict;
use warnings;

my ($windows, $linux, $tolerance) = @ARGV;
die "usage: $0 WINDOWS_VALUES LINUX_VALUES [TOLERANCE]\n" unless $linux;
$tolerance //= 1e-12;
unless (-e $windows) {
    # The host tests that write it were skipped (no 32-bit wine, say).
    print "SKIPPED: no values from the Windows host tests ($windows)\n";
    exit 77;
}

sub read_values {
    my ($path) = @_;
    open(my $in, '<', $path) or die "cannot read $path: $!\n";
    my @rows;
    while (my $line = <$in>) {
        $line =~ s/\r?\n$//;
        next if $line eq '';
        my ($name, $text) = split /\t/, $line, 2;
        die "$path: malformed line: $line\n" unless defined $text;
        push @rows, [$name, $text];
    }
    return @rows;
}

# The printed forms of NaN and the infinities of either C library.
sub kind {
    my ($text) = @_;
    return 'nan' if $text =~ /nan/i;
    return '+inf' if $text =~ /^\+?(inf|1\.#inf)/i;
    return '-inf' if $text =~ /^-(inf|1\.#inf)/i;
    return 'finite';
}

my @w = read_values($windows);
my @l = read_values($linux);
my $failed = 0;
if (@w != @l) {
    print "FAIL: ", scalar(@w), " values in $windows, ", scalar(@l),
        " in $linux\n";
    $failed = 1;
}
my $worst = 0;
for my $i (0 .. ($#w < $#l ? $#w : $#l)) {
    my ($wn, $wt) = @{ $w[$i] };
    my ($ln, $lt) = @{ $l[$i] };
    if ($wn ne $ln) {
        print "FAIL: line ", $i + 1, ": case \"$wn\" here, \"$ln\" on Linux\n";
        $failed = 1;
        next;
    }
    my ($wk, $lk) = (kind($wt), kind($lt));
    my $ok;
    if ($wk ne 'finite' || $lk ne 'finite') {
        $ok = $wk eq $lk;
    } else {
        my $diff = abs($wt - $lt);
        # Relative, or absolute below 1 nat: an estimate near 0 is the
        # difference of terms of the order of log n, whose rounding it
        # keeps.
        my $scale = abs($lt) > 1 ? abs($lt) : 1;
        my $relative = $diff / $scale;
        $worst = $relative if $relative > $worst;
        $ok = $relative <= $tolerance;
    }
    unless ($ok) {
        print "FAIL: $wn: $wt here, $lt on Linux\n";
        $failed = 1;
    }
}
printf "%d values compared with %s; largest relative difference %.3g\n",
    scalar(@w), $linux, $worst;
exit $failed;
