# Shared by check_quotes.pl and check_documented.pl: their arguments, the
# reading of files and the program sources as the checks see them. Only what
# perl-base has: its built-in :utf8 layer and utf8::decode, not the :encoding
# layer, whose module a bare Debian lacks.
use strict;
use warnings;

binmode STDOUT, ':utf8';

# A printf conversion: flags, width, precision, length, conversion letter.
our $conversion = qr/%[-+ #0]*(?:\d+|\*)?(?:\.(?:\d+|\*))?(?:hh|h|ll|l|L|z)?[a-zA-Z]/;

# The arguments split at each "--": a list of array references.
sub arg_groups {
    my @groups = ([]);
    for my $arg (@_) {
        if ($arg eq '--') { push @groups, []; next; }
        push @{ $groups[-1] }, $arg;
    }
    return @groups;
}

# The bytes of a file.
sub slurp {
    my ($name) = @_;
    open my $fh, '<:raw', $name or die "$name: $!\n";
    local $/;
    my $text = <$fh>;
    close $fh;
    return $text;
}

# The characters of a UTF-8 file.
sub decoded {
    my ($name) = @_;
    my $text = slurp($name);
    utf8::decode($text) or die "$name: not UTF-8\n";
    return $text;
}

# The sources as one text, without their comments (a message must be in the
# code itself), adjacent string literals joined ("ab" "cd" is "abcd"), so
# that a message split over two lines of code is still found.
sub source_code {
    my $code = join "\n", map { slurp($_) } @_;
    $code =~ s{/\*.*?\*/}{}sg;
    $code =~ s{(^|[\s;{})])//[^\n]*}{$1}mg;
    $code =~ s/"\s*\n\s*"//g;
    $code =~ s/"[ \t]+"//g;
    return $code;
}

1;
