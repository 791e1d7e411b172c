[install]
Text q1 on - h1 Control yes
Text q2 off - h2 Control no
Text q3 mode apache h3 Control equals the text
Text q4 mode Apache h4 Control differs in case
Text q5 mode other h5 Control equals another setting
Text q6 unset - h6 Control without value
Text q7 mode wanted h7 Control differs from another setting
