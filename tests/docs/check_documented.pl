#!/usr/bin/perl
# Checks that every message the programs end or warn with is in a manual page.
#
# Usage: check_documented.pl UNREACHABLE RENDERED... -- SOURCE...
#   UNREACHABLE  messages that no run of zelk or zelkad can write, one a line
#             ("#" lines are comments); they need no page
#   RENDERED  pages formatted by groff -Tutf8 -P-c, one paragraph per line
#   SOURCE    program sources
# A message is the last string literal of a call of fin, aviso, avisozelk, or
# of the whole-input reader's helpers stop and check. It is documented when
# the text of some page holds it, each printf conversion standing for any
# text. Prints each message that no page holds; exit status 1 when there is
# one, 2 on a usage error, else 0.
use strict;
use warnings;

# The arguments, file reading, the sources as the checks see them and
# $conversion: check_common.pl, beside this script.
BEGIN {
    my $dir = __FILE__ =~ m{^(.*/)} ? $1 : '';
    require(($dir =~ m{^/} ? '' : './') . $dir . 'check_common.pl');
}
our $conversion;

my $unreachable = shift @ARGV // '';
my @groups = arg_groups(@ARGV);
if (@groups != 2 || !@{ $groups[0] } || !@{ $groups[1] }) {
    print STDERR "usage: check_documented.pl UNREACHABLE RENDERED... -- SOURCE...\n";
    exit 2;
}
my ($pages, $sources) = @groups;

# The pages' plain text: overstrike undone, one paragraph per line.
my $text = join "\n", map { decoded($_) } @$pages;
$text =~ s/.\x08//g;
$text =~ s/[\x{2010}\x{2212}]/-/g;

my $code = source_code(@$sources);

my $literal = qr/"((?:[^"\\\n]|\\.)*)"/;
my %skip = map { chomp; ($_ => 1) } grep { !/^#/ && /\S/ } split /^/m, slurp($unreachable);
my (%seen, $faults);
while ($code =~ /(?<!void )\b(?:fin|aviso|avisozelk|stop|check)\s*\(([^;]*)\)\s*;/g) {
    my @strings = $1 =~ /$literal/g;
    next unless @strings;
    my $msg = $strings[-1];
    next if $seen{$msg}++ || $skip{$msg};
    my $plain = $msg;
    $plain =~ s/\\n//g;
    $plain =~ s/\\(.)/$1/g;
    my @fixed = split /$conversion/, $plain, -1;
    my $pattern = join '.+?', map { quotemeta } @fixed;
    next if $text =~ /$pattern/;
    print "message not in any page: \"$msg\"\n";
    $faults++;
}
if (!%seen) {
    print "no messages found in the sources\n";
    exit 1;
}
printf "%d messages checked, %d not documented\n", scalar(keys %seen), $faults // 0;
exit($faults ? 1 : 0);
