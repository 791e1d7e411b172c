#!/bin/sh
echo bb
