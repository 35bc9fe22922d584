\version "2.24.0"

% The demo show's three pages: Greensleeves, a traditional English tune, in three verses for
% piano, one verse to a page. render.sh turns this into demo-page-1.png … demo-page-3.png.

#(set-global-staff-size 22)

\paper {
  #(set-paper-size "letter")
  page-count = 3
  ragged-last-bottom = ##f
  top-margin = 12\mm
  bottom-margin = 12\mm
  left-margin = 15\mm
  right-margin = 15\mm
}

\header {
  title = "Greensleeves"
  subtitle = "in three verses, for piano"
  composer = "Traditional English"
  arranger = "arr. for the Pagewright demo"
  tagline = ##f
}

% The tune, bar by bar, without its last bar (which differs at the end of the piece).
verse = \relative c'' {
  c2( d4 | e4. f8 e4) | d2( b4 | g4. a8 b4) | c2( a4 | a4. gis8 a4) | b2( gis4 | e2) a4 |
  c2( d4 | e4. f8 e4) | d2( b4 | g4. a8 b4) | c4.( b8 a4 | gis4. fis8 gis4) | a2. | a2. |
  g'2. | g4.( fis8 e4) | d2( b4 | g4. a8 b4) | c2( a4 | a4. gis8 a4) | b2( gis4 | e2.) |
  g'2. | g4.( fis8 e4) | d2( b4 | g4. a8 b4) | c4.( b8 a4 | gis4. fis8 gis4) | a2. |
}

right = {
  \clef treble
  \key a \minor
  \time 3/4
  \tempo "Andante" 4 = 96
  \partial 4 a'4\mp |
  \sectionLabel "Verse 1"
  \verse
  a'2 a'4\mf | \pageBreak
  \sectionLabel "Verse 2"
  \verse
  a'2 a'4\p | \pageBreak
  \sectionLabel "Verse 3"
  \verse
  a'2.\fermata \bar "|."
}

% Left-hand figures, one bar each: a waltz figure, broken chords, and a bass with a held chord.
wAm = { a,4 <c e> <c e> }
wC = { c4 <e g> <e g> }
wG = { g,4 <b, d> <b, d> }
wEm = { e,4 <g, b,> <g, b,> }
wF = { f,4 <a, c> <a, c> }
wE = { e,4 <gis, b, d> <gis, b, d> }

bAm = { a,8 e a c' a e }
bC = { c8 g c' e' c' g }
bG = { g,8 d g b g d }
bEm = { e,8 b, e g e b, }
bF = { f,8 c f a f c }
bE = { e,8 b, e gis e b, }

hAm = { a,4 <e c'>2 }
hC = { c4 <g e'>2 }
hG = { g,4 <d b>2 }
hEm = { e,4 <b, g>2 }
hF = { f,4 <c a>2 }
hE = { e,4 <b, gis>2 }

left = {
  \clef bass
  \key a \minor
  \time 3/4
  \partial 4 r4 |
  \wAm \wC \wG \wEm \wAm \wF \wE \wE
  \wAm \wC \wG \wEm \wAm \wE \wAm \wAm
  \wC \wC \wG \wEm \wAm \wF \wE \wE
  \wC \wC \wG \wEm \wAm \wE \wAm \wAm
  \bAm \bC \bG \bEm \bAm \bF \bE \bE
  \bAm \bC \bG \bEm \bAm \bE \bAm \bAm
  \bC \bC \bG \bEm \bAm \bF \bE \bE
  \bC \bC \bG \bEm \bAm \bE \bAm \bAm
  \hAm \hC \hG \hEm \hAm \hF \hE \hE
  \hAm \hC \hG \hEm \hAm \hE \hAm \hAm
  \hC \hC \hG \hEm \hAm \hF \hE \hE
  \hC \hC \hG \hEm \hAm \hE \hAm <a,, a,>2.\fermata \bar "|."
}

\score {
  \new PianoStaff <<
    \new Staff = "right" \right
    \new Staff = "left" \left
  >>
  \layout { }
}
