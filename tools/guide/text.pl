#!/usr/bin/perl
# The text of docs/HOW-IT-WORKS.md as scripts/docs makes and checks it.
#
#   text.pl splice FACTS GUIDE  the guide with every <!--=KEY-->...<!--/--> holding
#                               FACTS' value of KEY (lines "KEY<TAB>VALUE"; a key
#                               given on several lines is a block of those lines),
#                               to standard output; an unknown key is an error
#   text.pl check GUIDE         every link and anchor resolves; every code block
#                               after <!-- quote: PATH --> and every code span
#                               linked to a source file is in that file (unless
#                               it names the file itself); every
#                               name in a code span linked to a source file is
#                               defined there; every other code span that is a
#                               name occurs in the sources
#   text.pl commands GUIDE      the body of every ```sh block, each ended by a NUL
#                               (the Try it commands; not those after "then run")
#   text.pl marked PAGE         the body of every ```sh block after <!-- scripts/docs
#                               runs this -->, each ended by a NUL
#   text.pl apply GUIDE TREE    puts every code block after <!-- put in: FILE, after:
#                               LINE --> or <!-- put in: FILE, in place of: FUNCTION -->
#                               into TREE/FILE, exactly as printed (after the first
#                               line that is LINE; in place of the definition of
#                               FUNCTION, from its first line to the next "}" at
#                               the start of a line), and prints the ```sh block
#                               after <!-- then run --> (the commands that test it)
#   text.pl numbers GUIDE       every number in the prose (not in code, links or
#                               markers) is one of the page's fixed numbers, the
#                               list in its <!-- fixed numbers: ... --> comment
#   text.pl terms GUIDE         no term of a <!-- term: WORDS --> comment is used
#                               before the paragraph that comment stands before
#
# Paths are relative to the repository root, where this is run. Problems go
# to standard error, one a line, "GUIDE:LINE: what"; the exit status is then 1.
use strict;
use warnings;
use utf8;
use open qw(:std :encoding(UTF-8));

my ($mode, @args) = @ARGV;
my $problems = 0;

sub problem {
  my ($where, $what) = @_;
  print STDERR "$where: $what\n";
  $problems++;
}

sub slurp {
  my ($path) = @_;
  open(my $fh, '<:encoding(UTF-8)', $path) or return undef;
  local $/;
  my $text = <$fh>;
  close $fh;
  return $text;
}

# The anchors GitHub gives a Markdown file's headings.
sub anchors {
  my ($text) = @_;
  my %seen;
  my %anchors;
  my $fenced = 0;
  for my $line (split /\n/, $text) {
    if ($line =~ /^```/) { $fenced = !$fenced; next; }
    next if $fenced || $line !~ /^#{1,6}\s+(.*?)\s*$/;
    my $slug = lc $1;
    $slug =~ s/\[([^\]]*)\]\([^)]*\)/$1/g;  # a link's text only
    $slug =~ s/[^\p{L}\p{N}\s_-]//g;
    $slug =~ s/\s/-/g;
    my $n = $seen{$slug}++;
    $anchors{$n ? "$slug-$n" : $slug} = 1;
  }
  return \%anchors;
}

# Lines with their blanks squeezed, for comparing code that clang-format
# may have wrapped or indented differently.
sub squeeze {
  my ($s) = @_;
  $s =~ s/\s+/ /g;
  $s =~ s/^ | $//g;
  return $s;
}

my %source_cache;
sub source {
  my ($path) = @_;
  $source_cache{$path} //= slurp($path);
  return $source_cache{$path};
}

# Whether `name` (a function, type, variable or constant; the part after
# the last :: when the whole is not found) is defined in `text`: declared at
# the start of a line, not merely used.
sub defines {
  my ($text, $name) = @_;
  for my $n ($name, ($name =~ /::(\w+)$/ ? $1 : ())) {
    my $q = quotemeta $n;
    return 1 if $text =~ /^(?:\S[^\n;]*?[\s*&])?$q\s*\(/m;    # a function
    return 1 if $text =~ /^\s*(?:struct|class|enum|union)\s+$q\b/m;
    return 1 if $text =~ /^\s*(?:#define\s+|[\w:<> ]*[\s*&])$q\s*(?:[=;\[{(]|$)/m;  # a variable
  }
  return 0;
}

my @source_files;
sub all_sources {
  return @source_files if @source_files;
  open(my $git, '-|', 'git', 'ls-files', '--', 'src', 'support', 'tools', 'tests', 'bench',
       'scripts', 'cmake', 'CMakeLists.txt')
    or die "git ls-files: $!";
  # Not scripts/docs: its sample of a broken page names what exists nowhere.
  @source_files =
    grep { !/\.(?:png|gif|ico|bmp|svg|bin|ppm)$/ && $_ ne 'scripts/docs' } map { chomp; $_ } <$git>;
  close $git;
  return @source_files;
}

my %mentioned;
sub occurs_in_sources {
  my ($name) = @_;
  unless (%mentioned) {
    for my $f (all_sources()) {
      my $t = source($f) // next;
      $mentioned{$_} = 1 for $t =~ /\b([A-Za-z_]\w*(?:::[A-Za-z_]\w*)*)/g;
      $mentioned{$_} = 1 for $t =~ /\b([A-Za-z_]\w*)/g;
    }
  }
  return $mentioned{$name};
}

if ($mode eq 'splice') {
  my ($facts_path, $guide) = @args;
  my %facts;
  my $facts = slurp($facts_path) // die "$facts_path: cannot read\n";
  for my $line (split /\n/, $facts) {
    my ($key, $value) = split /\t/, $line, 2;
    die "$facts_path: not KEY<TAB>VALUE: $line\n" unless defined $value;
    $facts{$key} = exists $facts{$key} ? "$facts{$key}\n$value" : $value;
  }
  my $text = slurp($guide) // die "$guide: cannot read\n";
  my $out = '';
  my $line_no = 1;
  while ($text =~ /\G(.*?)<!--=([\w.-]+)-->(.*?)<!--\/-->/gcs) {
    my ($before, $key, $old) = ($1, $2, $3);
    $out .= $before;
    $line_no += ($before =~ tr/\n//);
    if (!exists $facts{$key}) {
      problem("$guide:$line_no", "no number '$key' comes from orvix-guide");
      $out .= "<!--=$key-->$old<!--/-->";
    } else {
      my $v = $facts{$key};
      $out .= $v =~ /\n/ ? "<!--=$key-->\n$v\n<!--/-->" : "<!--=$key-->$v<!--/-->";
    }
    $line_no += ($old =~ tr/\n//);
  }
  $out .= substr($text, pos($text) // 0);
  print $out;
  exit($problems ? 1 : 0);
}

if ($mode eq 'commands') {
  my $text = slurp($args[0]) // die "$args[0]: cannot read\n";
  while ($text =~ /(<!-- then run -->\n)?^```sh\n(.*?)^```$/gms) { print "$2\0" unless $1; }
  exit 0;
}

if ($mode eq 'marked') {
  my $text = slurp($args[0]) // die "$args[0]: cannot read\n";
  while ($text =~ /^<!-- scripts\/docs runs this -->\n```sh\n(.*?)^```$/gms) { print "$1\0"; }
  exit 0;
}

if ($mode eq 'apply') {
  my ($guide, $tree) = @args;
  my $text = slurp($guide) // die "$guide: cannot read\n";
  my $runs = 0;
  while ($text =~ /^<!-- (put in: ([^,\n]+), (after|in place of): (.*?)|then run) -->\n```\w*\n(.*?)^```$/gms) {
    my ($what, $file, $how, $where, $body) = ($1, $2, $3, $4, $5);
    if ($what eq 'then run') { print $body; $runs++; next; }
    my $path = "$tree/$file";
    my $src = slurp($path) // die "$guide: puts code into $file, which does not exist\n";
    if ($how eq 'after') {
      $src =~ s/^\Q$where\E\n/$&$body/m or die "$guide: no line '$where' in $file\n";
    } else {
      $src =~ s/^[^\s\/#][^\n;]*\b\Q$where\E\(.*?\n\}\n/$body/ms
        or die "$guide: no definition of $where in $file\n";
    }
    open(my $fh, '>:encoding(UTF-8)', $path) or die "$path: $!\n";
    print $fh $src;
    close $fh;
  }
  die "$guide: no <!-- then run --> block\n" unless $runs;
  exit 0;
}

# The prose of a page: no code blocks, code spans, markers' values, HTML
# comments, link targets or image descriptions. Lines keep their numbers.
sub prose {
  my ($text) = @_;
  $text =~ s/<!--=[\w.-]+-->.*?<!--\/-->/ /gs;
  $text =~ s/(<!--.*?-->)/my $c = $1; $c =~ s{[^\n]}{}g; $c/gse;
  $text =~ s/^(```.*?^```)$/my $c = $1; $c =~ s{[^\n]}{}g; $c/gmse;
  $text =~ s/`[^`\n]+`/ /g;
  $text =~ s/!\[([^\]]*)\]\([^)]*\)/ $1 /g;  # an image: its description
  $text =~ s/\]\([^)\s]*\)/] /g;
  $text =~ s/<[^>\n]*>/ /g;
  return $text;
}

if ($mode eq 'numbers') {
  my $guide = $args[0];
  my $text = slurp($guide) // die "$guide: cannot read\n";
  my ($list) = $text =~ /<!-- fixed numbers: (.*?)-->/s;
  die "$guide: no <!-- fixed numbers: ... --> comment\n" unless defined $list;
  # "N×K (why)" items: N occurs K times in the prose. The why is for the
  # reader; the counts make any change to a fixed number show.
  $list =~ s/\([^)]*\)//g;
  my %fixed;
  for my $item (split /[\s,]+/, $list) {
    next if $item eq '';
    my ($n, $k) = $item =~ /^(\d+(?:\.\d+)*)(?:×(\d+))?$/ or die "$guide: '$item' in the fixed numbers is not N×K\n";
    $fixed{$n} = $k // 0;
  }
  my %seen;
  my @lines = split /\n/, prose($text), -1;
  for my $i (0 .. $#lines) {
    # A number: digits, maybe a decimal part, not part of a name (x86_64, SDL2).
    while ($lines[$i] =~ /(?<![\w.\x{2212}-])([\x{2212}-]?\d+(?:[.,]\d+)*)(?!(?!π)\w)/g) {
      my $n = $1;
      $n =~ s/[.,]$//;
      $n =~ s/^[\x{2212}-]//;
      $seen{$n}++;
      problem("$guide:" . ($i + 1), "the number $n is neither between markers nor a fixed number")
        unless exists $fixed{$n};
    }
  }
  for my $n (sort { $a <=> $b } keys %fixed) {
    my $k = $seen{$n} // 0;
    problem($guide, "the fixed number $n occurs $k times in the prose, not $fixed{$n}")
      if $k != $fixed{$n};
  }
  exit($problems ? 1 : 0);
}

if ($mode eq 'terms') {
  my $guide = $args[0];
  my $text = slurp($guide) // die "$guide: cannot read\n";
  while ($text =~ /<!-- term: (.*?) -->/g) {
    my ($term, $at) = ($1, $-[0]);
    my $before = prose(substr($text, 0, $at));
    if ($before =~ /\b\Q$term\E\b/i) {
      my $line = 1 + (substr($before, 0, $-[0]) =~ tr/\n//);
      problem("$guide:$line", "'$term' is used before the paragraph that says what it is");
    }
  }
  exit($problems ? 1 : 0);
}

die "usage: text.pl splice FACTS GUIDE | check GUIDE | commands GUIDE | apply GUIDE TREE | numbers GUIDE | terms GUIDE\n" unless $mode eq 'check';

my $guide = $args[0];
my $text = slurp($guide) // die "$guide: cannot read\n";
my $dir = $guide =~ m{^(.*)/[^/]*$} ? $1 : '.';
my %anchor_cache;
my @lines = split /\n/, $text;
my $fenced = 0;
my $quote;  # the file the next code block quotes
my @block;
my $block_start;
for my $i (0 .. $#lines) {
  my $line = $lines[$i];
  my $where = "$guide:" . ($i + 1);
  if ($line =~ /^```/) {
    if (!$fenced) {
      $fenced = 1;
      @block = ();
      $block_start = $where;
      next;
    }
    $fenced = 0;
    if (defined $quote) {
      my $src = source($quote);
      if (!defined $src) {
        problem($block_start, "quotes $quote, which does not exist");
      } else {
        # Each run of lines between "..." lines is in the file, in one piece.
        my @runs = ([]);
        for my $l (@block) {
          if ($l =~ /^\s*(?:\/\/\s*)?\.\.\.\s*$/) { push @runs, []; next; }
          push @{$runs[-1]}, $l;
        }
        my $flat = squeeze($src);
        for my $run (@runs) {
          next unless @$run;
          my $want = squeeze(join(' ', @$run));
          problem($block_start, "the quoted code is not in $quote: $want")
            if index($flat, $want) < 0;
        }
      }
      undef $quote;
    }
    next;
  }
  if ($fenced) { push @block, $line; next; }
  if ($line =~ /^<!-- quote: (\S+) -->$/) { $quote = $1; next; }

  # Links and images: [text](target)
  while ($line =~ /(!?)\[((?:[^\[\]]|\[[^\]]*\])*)\]\(([^)\s]+)\)/g) {
    my ($label, $target) = ($2, $3);
    next if $target =~ /^(?:https?|mailto):/;
    my ($path, $anchor) = $target =~ /^([^#]*)(?:#(.*))?$/;
    my $file = $path eq '' ? $guide : "$dir/$path";
    1 while $file =~ s{[^/]+/\.\./}{};
    if (!-e $file) {
      problem($where, "links to $target: no such file");
      next;
    }
    if (defined $anchor && $anchor ne '') {
      if ($file =~ /\.md$/) {
        $anchor_cache{$file} //= anchors(slurp($file) // '');
        problem($where, "links to $target: no such heading") unless $anchor_cache{$file}{$anchor};
      } elsif ($anchor !~ /^L\d+(?:-L\d+)?$/) {
        problem($where, "links to $target: an anchor in a file that is not Markdown");
      }
    }
    # A code span linked to a source file: a name defined there, or code in it.
    (my $base = $file) =~ s{.*/}{};
    if ($label =~ /^`([^`]+)`$/ && -f $file && $file !~ /\.md$/ && $1 !~ m{(?:^|/)\Q$base\E$}) {
      my $code = $1;
      my $src = source($file);
      if ($code =~ /^[A-Za-z_]\w*(?:::[A-Za-z_]\w*)*$/) {
        problem($where, "`$code` is not defined in $path") unless defines($src, $code);
      } else {
        problem($where, "`$code` is not in $path") if index(squeeze($src), squeeze($code)) < 0;
      }
    }
  }
  # Every other code span that is a name: it occurs in the sources.
  (my $unlinked = $line) =~ s/\[`[^`]+`\]\([^)]*\)//g;
  while ($unlinked =~ /`([A-Za-z_]\w*(?:::[A-Za-z_]\w*)*)`/g) {
    my $name = $1;
    problem($where, "`$name` occurs nowhere in the sources") unless occurs_in_sources($name);
  }
}
problem($block_start, "a code block is not closed") if $fenced;
exit($problems ? 1 : 0);
