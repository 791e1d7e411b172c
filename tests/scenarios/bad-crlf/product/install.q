[install]
Text target - - h1 Target
YN hasdat - - h2 Has defaults
