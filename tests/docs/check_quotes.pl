#!/usr/bin/perl
# Checks that every text a manual page quotes is the programs' own bytes.
#
# Usage: check_quotes.pl RENDERED... -- SOURCE... -- EXPECTED...
#   RENDERED  a page formatted by groff -Tutf8 -P-c (overstrike for bold and
#             italic, no colour codes), one paragraph per line
#   SOURCE    program sources: a quote passes when it is a string of theirs,
#             an italic word of the quote standing for a printf conversion
#   EXPECTED  expected stdout and stderr files of the end-to-end cases: a
#             quote also passes when it is a line part of one of them, an
#             italic word standing for any text
# Every span between U+201C and U+201D of a rendered page is a quote.
# Prints each quote that neither the sources nor the cases hold, and exits
# with status 1 when there is one, 2 on a usage error, else 0.
use strict;
use warnings;

# The arguments, file reading, the sources as the checks see them and
# $conversion: check_common.pl, beside this script.
BEGIN {
    my $dir = __FILE__ =~ m{^(.*/)} ? $1 : '';
    require(($dir =~ m{^/} ? '' : './') . $dir . 'check_common.pl');
}
our $conversion;

my @groups = arg_groups(@ARGV);
if (@groups != 3 || !@{ $groups[0] }) {
    print STDERR "usage: check_quotes.pl RENDERED... -- SOURCE... -- EXPECTED...\n";
    exit 2;
}
my ($pages, $sources, $expected) = @groups;

my $code = source_code(@$sources);
my @cases = map { slurp($_) } @$expected;

# Splits a rendered line into characters, each with its italic mark.
sub cells {
    my ($line) = @_;
    my @cells;
    my @chars = split //, $line;
    for (my $i = 0; $i < @chars; $i++) {
        if ($i + 2 < @chars && $chars[$i + 1] eq "\b") {
            my ($under, $over) = @chars[$i, $i + 2];
            push @cells, [$over, $under eq '_' && $over ne '_'];
            $i += 2;
        } else {
            push @cells, [$chars[$i], 0];
        }
    }
    return @cells;
}

# Turns the cells of a quote into its fixed parts: a list of texts between
# which an italic word stands.
sub parts {
    my @cells = @_;
    my @parts = ('');
    my $italic = 0;
    for my $cell (@cells) {
        my ($char, $it) = @$cell;
        $char = '-' if $char eq "\x{2010}" || $char eq "\x{2212}";
        if ($it) {
            push @parts, '' unless $italic;
        } else {
            $parts[-1] .= $char;
        }
        $italic = $it;
    }
    return @parts;
}

my $faults = 0;
my $quotes = 0;
for my $page (@$pages) {
    (my $name = $page) =~ s{.*/}{};
    for my $line (split /\n/, decoded($page)) {
        my @cells = cells($line);
        my $open;
        for my $i (0 .. $#cells) {
            my $char = $cells[$i][0];
            if ($char eq "\x{201C}") {
                $open = $i;
            } elsif ($char eq "\x{201D}" && defined $open) {
                my @parts = parts(@cells[$open + 1 .. $i - 1]);
                undef $open;
                $quotes++;
                my @lit = map { my $s = $_; $s =~ s/\\/\\\\/g; $s =~ s/"/\\"/g; quotemeta $s } @parts;
                my $in_code = join $conversion, @lit;
                my $in_case = join '[^\n]+?', map { quotemeta } @parts;
                next if $code =~ /$in_code/;
                next if grep { /$in_case/ } @cases;
                my $shown = join '<...>', @parts;
                print "$name: quote not found in the sources or the cases: \x{201C}$shown\x{201D}\n";
                $faults++;
            }
        }
    }
}
if ($quotes == 0) {
    print "no quotes found: is the page rendered with -Tutf8?\n";
    exit 1;
}
print "$quotes quotes checked, $faults not found\n";
exit($faults ? 1 : 0);
